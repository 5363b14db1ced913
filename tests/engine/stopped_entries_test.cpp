// An entry that is refused, fails or is stopped leaves no file of its own;
// the files of the entries before it stay.
#include <filesystem>
#include <functional>

#include "entry_crypto.h"
#include "extract_fixture.h"

namespace extractor::test {
namespace {

namespace fs = std::filesystem;

constexpr char16_t kUnknownAlgorithm[] =
    u"The Encryption Algorithm used is not recognized by this DLL";
constexpr char16_t kAborted[] = u"Unzip Operation Aborted";
constexpr char16_t kNotZip[] = u"The file is not identified as a compliant zip file";

BuiltEntry encryptedEntry(const char* kind) {
  BuiltEntry e = deflatedEntry("stops.bin", sampleData(200000, 4));
  if (std::string(kind) == "aes") {
    encryptAes(e, "right", 4);
  } else {
    encryptTraditional(e, "right");
  }
  return e;
}

// Deflated data whose second half is broken: the first passes are written
// before the decoder meets it.
BuiltEntry brokenHalfway() {
  BuiltEntry e = deflatedEntry("stops.bin", sampleData(3000000, 6), 0);
  for (size_t i = e.data.size() / 2; i < e.data.size(); i++) e.data[i] = 0xFF;
  return e;
}

struct Fault {
  const char* what;
  std::function<BuiltEntry()> entry;
  std::vector<std::u16string> answers;  // typed passwords, then Cancel
  const char16_t* error;
  bool abortDuringData = false;
};

const Fault kFaults[] = {
    {"strong encryption",
     [] {
       BuiltEntry e = storedEntry("stops.bin", sampleData(5000));
       e.flags |= 1 | 1 << 6;
       return e;
     },
     {},
     kUnknownAlgorithm},
    {"encrypted central directory",
     [] {
       BuiltEntry e = storedEntry("stops.bin", sampleData(5000));
       e.flags |= 1 << 13;
       return e;
     },
     {},
     kUnknownAlgorithm},
    {"method 1 (shrunk)",
     [] {
       BuiltEntry e = storedEntry("stops.bin", sampleData(5000));
       e.method = 1;
       return e;
     },
     {},
     kUnknownAlgorithm},
    {"Cancel at the first prompt", [] { return encryptedEntry("traditional"); }, {}, kAborted},
    {"wrong password, then Cancel",
     [] { return encryptedEntry("traditional"); },
     {u"wrong"},
     kAborted},
    {"AES, wrong password, then Cancel", [] { return encryptedEntry("aes"); }, {u"no"}, kAborted},
    {"bad data halfway", brokenHalfway, {}, kNotZip},
    {"abort during the data",
     [] { return deflatedEntry("stops.bin", sampleData(3000000, 7)); },
     {},
     kAborted,
     true},
};

class StoppedEntry : public ExtractTest {
 protected:
  ZipBuilder archiveWith(const Fault& fault) {
    ZipBuilder b;
    b.entries.push_back(storedEntry("first.txt", bytesOf("first")));
    b.entries.push_back(fault.entry());
    b.entries.push_back(storedEntry("never.txt", bytesOf("never")));
    return b;
  }

  void arm(const Fault& fault) {
    zip.Reset();
    zip.bufferKiB = 30;  // several passes before the end of the entry
    window.answers.assign(fault.answers.begin(), fault.answers.end());
    window.onRefresh = [&fault](Zip& z) {
      if (fault.abortDuringData && z.currentName == u"stops.bin" && z.bytesDone > 100000) {
        z.abortRequest = -1;
      }
    };
  }
};

TEST_F(StoppedEntry, LeavesNothingOfItselfAndKeepsTheEntriesBefore) {
  for (const Fault& fault : kFaults) {
    fs::remove_all(dir.path() / "out");
    arm(fault);
    EXPECT_EQ(extract(archiveWith(fault)), -1) << fault.what;
    EXPECT_EQ(zip.lastErrorText, fault.error) << fault.what;
    EXPECT_EQ(extracted("first.txt"), bytesOf("first")) << fault.what;
    EXPECT_FALSE(fs::exists(out("stops.bin"))) << fault.what;
    EXPECT_FALSE(fs::exists(out("never.txt"))) << fault.what;
  }
}

// A file the entry was to replace stays as it was when the entry stops
// before its data begin; once they have begun, its old content is gone
// and the part written is removed rather than passed off as the file.
TEST_F(StoppedEntry, ReplacingAnExistingFile) {
  const std::vector<uint8_t> old = bytesOf("the file as it was");
  for (const Fault& fault : kFaults) {
    fs::remove_all(dir.path() / "out");
    fs::create_directories(dir.path() / "out");
    writeBytes(out("stops.bin"), old);
    arm(fault);
    EXPECT_EQ(extract(archiveWith(fault), true), -1) << fault.what;
    bool dataBegun = fault.error == kNotZip || fault.abortDuringData;
    if (dataBegun) {
      EXPECT_FALSE(fs::exists(out("stops.bin"))) << fault.what;
    } else {
      EXPECT_EQ(extracted("stops.bin"), old) << fault.what;
    }
  }
}

TEST_F(StoppedEntry, RefusedEntriesAskNoPassword) {
  BuiltEntry strong = storedEntry("strong.bin", sampleData(5000));
  encryptTraditional(strong, "pw");
  strong.flags |= 1 << 6;
  ZipBuilder b;
  b.entries.push_back(strong);
  EXPECT_EQ(extract(b), -1);
  EXPECT_EQ(zip.lastErrorText, kUnknownAlgorithm);
  EXPECT_EQ(window.passwordDialogs, 0);
  EXPECT_FALSE(fs::exists(out("strong.bin")));
}

// A refused entry whose file exists and is kept is no failure: nothing of
// it would be read.
TEST_F(StoppedEntry, KeptFileOfARefusedEntryIsOnlyAWarning) {
  BuiltEntry odd = storedEntry("odd.bin", sampleData(5000));
  odd.method = 95;
  ZipBuilder b;
  b.entries.push_back(odd);
  fs::create_directories(dir.path() / "out");
  writeBytes(out("odd.bin"), bytesOf("kept"));
  EXPECT_EQ(extract(b), 0);
  EXPECT_EQ(window.shownWarnings, u"odd.bin: File Exists");
}

// Names that come to nothing, or to a form that looked like a server's
// share, and names with characters that would end or split a warning line.
TEST_F(ExtractTest, NamesMendedInTheWarnings) {
  ZipBuilder b;
  b.entries.push_back(storedEntry("//tmp/moo", bytesOf("moo")));
  b.entries.push_back(storedEntry("", bytesOf("no name")));
  b.entries.push_back(storedEntry(std::string("te\0t", 4), bytesOf("nul")));
  b.entries.push_back(storedEntry("line\r\nbreak", bytesOf("crlf")));
  b.entries.push_back(storedEntry("sub/.", bytesOf("dot")));
  ASSERT_EQ(extract(b), 0);
  EXPECT_EQ(extracted("tmp/moo"), bytesOf("moo"));
  EXPECT_EQ(extracted("te_t"), bytesOf("nul"));
  EXPECT_EQ(extracted("line__break"), bytesOf("crlf"));
  EXPECT_EQ(window.shownWarnings,
            u"moo: Unsafe Path Corrected\r\n"
            u": Unsafe Path Corrected\r\n"
            u"te_t: Unsafe Path Corrected\r\n"
            u"line__break: Unsafe Path Corrected\r\n"
            u".: Unsafe Path Corrected");
  std::vector<fs::path> written;
  for (const auto& item : fs::recursive_directory_iterator(dir.path() / "out")) {
    if (item.is_regular_file()) written.push_back(item.path());
  }
  EXPECT_EQ(written.size(), 3u);
}

}  // namespace
}  // namespace extractor::test
