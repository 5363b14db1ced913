// The threading protocol between the window and the worker, run under
// ThreadSanitizer by the test command: the window polls busy and
// bytesDone and repaints while the worker extracts, the user presses
// Abort, Unzip or Close in the middle of a run, and passwords are typed
// into the dialog that the worker shows.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>

#include "entry_crypto.h"
#include "shell.h"
#include "temp_dir.h"
#include "zip_builder.h"

namespace extractor::test {
namespace {

namespace fs = std::filesystem;

// Compressible bytes with matches at many distances.
std::vector<uint8_t> sample(size_t size, uint32_t seed) {
  std::mt19937 random(seed);
  std::vector<uint8_t> data;
  while (data.size() < size) {
    if (data.size() > 1000 && random() % 4 == 0) {
      size_t from = data.size() - 1 - random() % 30000 % data.size();
      for (size_t n = 3 + random() % 200; n > 0 && data.size() < size; n--) {
        data.push_back(data[from++]);
      }
    } else {
      data.push_back(static_cast<uint8_t>("abcdefgh \n"[random() % 10]));
    }
  }
  return data;
}

class WindowProtocol : public ::testing::Test {
 protected:
  WindowProtocol() : shell(zip) { zip.bufferKiB = 62; }

  // Entries large enough for many passes, so that the run lasts.
  ZipBuilder bigArchive(int entries = 4) {
    ZipBuilder b;
    b.entries.push_back(storedEntry("docs/", {}));
    for (int i = 0; i < entries; i++) {
      b.entries.push_back(deflatedEntry("docs/" + std::to_string(i) + ".bin",
                                        sample(600000, static_cast<uint32_t>(i)), 1));
    }
    return b;
  }
  std::u16string write(const ZipBuilder& b) {
    writeBytes(dir.path() / "setup.exe", b.build());
    return dir.wide("setup.exe");
  }
  void unzip(const ZipBuilder& b) { shell.pressUnzip(write(b), dir.wide("out")); }
  bool extractedAsBuilt(const ZipBuilder& b) {
    for (const BuiltEntry& e : b.entries) {
      if (e.name.back() == '/') continue;
      if (crcOf(readBytes(dir.path() / "out" / e.name)) != e.crc) return false;
    }
    return true;
  }
  void expectCleanEnd() {
    EXPECT_FALSE(shell.callTimedOut);
    EXPECT_FALSE(zip.busy);
    EXPECT_TRUE(zip.entries.empty()) << "the window resets once the run has ended";
  }

  TempDir dir;
  Zip zip;
  Shell shell;
};

TEST_F(WindowProtocol, WindowRepaintsWhileTheWorkerExtracts) {
  ZipBuilder b = bigArchive();
  unzip(b);
  bool sawProgress = false;
  shell.onPaint = [&](Shell& s) { sawProgress |= s.barPosition > 0 && s.barPosition < 65535; };
  ASSERT_TRUE(shell.runUntilIdle());
  EXPECT_TRUE(shell.errorsShown.empty());
  EXPECT_TRUE(sawProgress);
  EXPECT_TRUE(extractedAsBuilt(b));
  expectCleanEnd();
}

TEST_F(WindowProtocol, AbortInTheMiddleThenUnzipAgain) {
  ZipBuilder b = bigArchive();
  unzip(b);
  bool pressed = false;
  bool again = false;
  shell.onPaint = [&](Shell& s) {
    if (!pressed && zip.bytesDone > 300000) {
      pressed = true;
      s.pressAbort();
    } else if (pressed && !again && !zip.busy) {
      // At once, as an impatient user would: the aborted run may still be
      // returning.
      again = true;
      unzip(b);
    }
  };
  ASSERT_TRUE(shell.runUntil([&] { return again; }));
  shell.onPaint = nullptr;
  ASSERT_TRUE(shell.runUntilIdle());
  ASSERT_EQ(shell.errorsShown.size(), 1u);
  EXPECT_EQ(shell.errorsShown[0], u"Unzip Operation Aborted");
  EXPECT_EQ(shell.workersStarted, 2);
  EXPECT_TRUE(extractedAsBuilt(b)) << "the second run extracted everything";
  expectCleanEnd();
}

TEST_F(WindowProtocol, UnzipPressedTwiceStartsOneWorker) {
  ZipBuilder b = bigArchive(2);
  // The archive is written once: written again for the second press, it
  // was cut short under the running worker, which then failed.
  const std::u16string archive = write(b);
  shell.pressUnzip(archive, dir.wide("out"));
  shell.pressUnzip(archive, dir.wide("out"));
  ASSERT_TRUE(shell.runUntilIdle());
  EXPECT_EQ(shell.workersStarted, 1);
  ASSERT_EQ(shell.errorsShown.size(), 1u);
  EXPECT_EQ(shell.errorsShown[0],
            u"The current instance of the Zip object is already running an operation");
  EXPECT_TRUE(extractedAsBuilt(b));
  expectCleanEnd();
}

TEST_F(WindowProtocol, PasswordsTypedIntoTheWorkersDialog) {
  ZipBuilder b = bigArchive(1);
  BuiltEntry traditional = deflatedEntry("locked.bin", sample(200000, 7));
  encryptTraditional(traditional, "right");
  b.entries.push_back(traditional);
  BuiltEntry aes = deflatedEntry("aes.bin", sample(200000, 8));
  encryptAes(aes, "right", 4);
  b.entries.push_back(aes);
  shell.typedPasswords = {u"wrong", u"right"};
  unzip(b);
  ASSERT_TRUE(shell.runUntilIdle());
  EXPECT_TRUE(shell.errorsShown.empty());
  EXPECT_EQ(shell.passwordPrompts, 2);
  EXPECT_TRUE(extractedAsBuilt(b));
  expectCleanEnd();
}

TEST_F(WindowProtocol, CancelInThePasswordDialog) {
  ZipBuilder b;
  BuiltEntry traditional = storedEntry("locked.bin", sample(1000, 9));
  encryptTraditional(traditional, "right");
  b.entries.push_back(traditional);
  shell.typedPasswords = {u"wrong", std::nullopt};
  unzip(b);
  ASSERT_TRUE(shell.runUntilIdle());
  ASSERT_EQ(shell.errorsShown.size(), 1u);
  EXPECT_EQ(shell.errorsShown[0], u"Unzip Operation Aborted");
  expectCleanEnd();
}

TEST_F(WindowProtocol, WarningsDialogFromTheWorker) {
  ZipBuilder b = bigArchive(2);
  unzip(b);
  ASSERT_TRUE(shell.runUntilIdle());
  unzip(b);  // overwrite is off: every file exists now
  ASSERT_TRUE(shell.runUntilIdle());
  ASSERT_EQ(shell.warningsShown.size(), 1u);
  EXPECT_EQ(shell.warningsShown[0], u"0.bin: File Exists\r\n1.bin: File Exists");
  EXPECT_TRUE(shell.errorsShown.empty());
  expectCleanEnd();
}

TEST_F(WindowProtocol, CloseDuringARunWaitsForTheWorker) {
  ZipBuilder b = bigArchive();
  unzip(b);
  bool closed = false;
  shell.onPaint = [&](Shell& s) {
    if (!closed && zip.bytesDone > 200000) {
      closed = true;
      s.pressClose();
      EXPECT_FALSE(zip.busy);
    }
  };
  ASSERT_TRUE(shell.runUntilIdle());
  EXPECT_TRUE(closed);
  EXPECT_FALSE(fs::exists(dir.path() / "out" / "docs" / "3.bin"));
  expectCleanEnd();
}

}  // namespace
}  // namespace extractor::test
