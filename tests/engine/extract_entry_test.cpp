#include <filesystem>

#include "deflate_writer.h"
#include "entry_crypto.h"
#include "extract_fixture.h"

namespace extractor::test {
namespace {

namespace fs = std::filesystem;

TEST_F(ExtractTest, StoredAndDeflatedEntriesComeBackWithTheirTimes) {
  ZipBuilder b;
  b.prefix.assign(4096, 0x90);
  auto text = sampleData(100000);
  b.entries.push_back(storedEntry("plain.txt", text));
  for (int level : {1, 6, 9}) {
    b.entries.push_back(deflatedEntry("level" + std::to_string(level) + ".txt", text, level));
  }
  b.entries.push_back(deflatedEntry("empty.txt", {}));
  ASSERT_EQ(extract(b), 0);
  EXPECT_EQ(extracted("plain.txt"), text);
  EXPECT_EQ(extracted("level1.txt"), text);
  EXPECT_EQ(extracted("level9.txt"), text);
  EXPECT_TRUE(extracted("empty.txt").empty());
  EXPECT_EQ(window.warningsDialogs, 0);
  EXPECT_FALSE(zip.busy);
  EXPECT_EQ(zip.bytesDone, 0u);

  // 2024-06-15 13:45:20, taken as UTC.
  auto written = fs::last_write_time(out("plain.txt"));
  auto seconds = std::chrono::duration_cast<std::chrono::seconds>(
                     written - fs::last_write_time(out("level6.txt")))
                     .count();
  EXPECT_EQ(seconds, 0);
  auto system = std::chrono::time_point_cast<std::chrono::seconds>(
      written - fs::file_time_type::clock::now() + std::chrono::system_clock::now());
  EXPECT_NEAR(static_cast<double>(system.time_since_epoch().count()), 1718459120.0, 2.0);
}

TEST_F(ExtractTest, BackReferencesReachAcrossPassesInLargeEntries) {
  auto data = sampleData(5 << 20, 7);
  for (int kib : {1024, 62, 200}) {
    zip.Reset();
    zip.bufferKiB = kib;
    ZipBuilder b;
    b.entries.push_back(deflatedEntry("big.bin", data, 6));
    b.entries.push_back(deflatedEntry("fast.bin", data, 1));
    ASSERT_EQ(extract(b, true), 0) << kib;
    EXPECT_EQ(extracted("big.bin"), data) << kib;
    EXPECT_EQ(extracted("fast.bin"), data) << kib;
    EXPECT_EQ(window.warningsDialogs, 0) << kib;
  }
}

// Deflate64 reaches 64 KiB back: matches of 65538 bytes from 60000 bytes
// back, so that each pass starts inside one that copies from the history
// beyond deflate's 32 KiB.
TEST_F(ExtractTest, Deflate64MatchesReachTheWholeWindowAcrossPasses) {
  namespace writer = extractor::testing;
  const auto period = sampleData(60000, 11);
  writer::BitWriter w;
  writer::writeStoredBlock(w, false, period.data(), static_cast<uint16_t>(period.size()));
  writer::writeFixedHeader(w, true);
  writer::HuffmanBlockWriter block(w, writer::fixedLitLenLengths(), writer::fixedDistLengths(),
                                   InflateFormat::kDeflate64);
  std::vector<uint8_t> content = period;
  for (unsigned k = 0; k < 40; ++k) {
    block.match(65538, 60000);
    for (unsigned i = 0; i < 65538; ++i) content.push_back(content[content.size() - 60000]);
  }
  block.end();
  BuiltEntry entry = storedEntry("far.bin", content);
  entry.method = 9;
  entry.data = w.bytes();
  entry.compressedSize = static_cast<uint32_t>(entry.data.size());
  for (int kib : {1024, 62}) {
    zip.Reset();
    zip.bufferKiB = kib;
    ZipBuilder b;
    b.entries.push_back(entry);
    b.entries.push_back(deflatedEntry("after.bin", period));
    ASSERT_EQ(extract(b, true), 0) << kib;
    EXPECT_EQ(extracted("far.bin"), content) << kib;
    EXPECT_EQ(extracted("after.bin"), period) << kib;
    EXPECT_EQ(window.warningsDialogs, 0) << kib;
  }
}

TEST_F(ExtractTest, DataStartFollowsTheLocalHeadersOwnLengths) {
  ZipBuilder b;
  auto data = sampleData(3000);
  BuiltEntry longer = deflatedEntry("longer.txt", data);
  longer.localExtra.assign(28, 0x11);  // a local extra field longer than the central one
  longer.centralExtra.assign(24, 0x22);
  b.entries.push_back(longer);
  BuiltEntry none = storedEntry("none.txt", bytesOf("central extra only"));
  none.centralExtra.assign(9, 0x33);
  b.entries.push_back(none);
  ASSERT_EQ(extract(b), 0);
  EXPECT_EQ(extracted("longer.txt"), data);
  EXPECT_EQ(extracted("none.txt"), bytesOf("central extra only"));
  EXPECT_EQ(window.warningsDialogs, 0);
}

// Some writers leave bytes behind the final deflate block within the
// compressed size; they are no data, whatever they hold.
TEST_F(ExtractTest, BytesBehindTheFinalDeflateBlockAreNoData) {
  auto data = sampleData(200000, 3);
  std::mt19937 random(5);
  for (size_t spare : {size_t{0}, size_t{2}, size_t{21}, size_t{3} << 20}) {
    zip.Reset();
    zip.bufferKiB = 64;  // the most spare bytes take many passes
    ZipBuilder b;
    for (int level : {0, 6}) {
      BuiltEntry e = deflatedEntry("level" + std::to_string(level) + ".bin", data, level);
      for (size_t i = 0; i < spare; i++) e.data.push_back(static_cast<uint8_t>(random()));
      e.compressedSize = e.data.size();
      b.entries.push_back(e);
    }
    ASSERT_EQ(extract(b, true), 0) << spare;
    EXPECT_EQ(extracted("level0.bin"), data) << spare;
    EXPECT_EQ(extracted("level6.bin"), data) << spare;
    EXPECT_EQ(window.warningsDialogs, 0) << spare;
  }
}

// Offsets counted from the archive's start, with a program in front.
TEST_F(ExtractTest, ArchivesAppendedWithoutAdjustingTheirOffsets) {
  auto data = sampleData(300000, 4);
  for (bool zip64 : {false, true}) {
    zip.Reset();
    ZipBuilder b;
    b.prefix = sampleData(70000, 9);
    b.offsetsFromArchiveStart = true;
    b.zip64 = zip64;
    b.entries.push_back(storedEntry("docs/", {}));
    b.entries.push_back(deflatedEntry("docs/a.txt", data));
    b.entries.push_back(storedEntry("b.bin", bytesOf("stored")));
    ASSERT_EQ(extract(b, true), 0) << zip64;
    EXPECT_EQ(extracted("docs/a.txt"), data) << zip64;
    EXPECT_EQ(extracted("b.bin"), bytesOf("stored")) << zip64;
    EXPECT_EQ(window.warningsDialogs, 0) << zip64;
  }
}

TEST_F(ExtractTest, SizeAndCrcMismatchesAreWarningsAndKeepTheFile) {
  ZipBuilder b;
  BuiltEntry shortStored = storedEntry("short.txt", bytesOf("0123456789"));
  shortStored.uncompressedSize = 11;
  b.entries.push_back(shortStored);
  BuiltEntry corrupt = storedEntry("corrupt.txt", bytesOf("the right bytes"));
  corrupt.data[4] ^= 0x20;
  b.entries.push_back(corrupt);
  BuiltEntry both = storedEntry("both.txt", bytesOf("abc"));
  both.crc ^= 1;
  both.uncompressedSize = 4;
  b.entries.push_back(both);
  ASSERT_EQ(extract(b), 0);
  EXPECT_EQ(extracted("short.txt"), bytesOf("0123456789"));
  EXPECT_EQ(extracted("corrupt.txt"), bytesOf("the Right bytes"));
  EXPECT_EQ(window.shownWarnings,
            u"short.txt: Incorrect File Size\r\ncorrupt.txt: CRC Does Not Match\r\n"
            u"both.txt: CRC Does Not MatchIncorrect File Size");
}

TEST_F(ExtractTest, EntriesWithoutDataReadNothing) {
  ZipBuilder b;
  BuiltEntry nothing = storedEntry("nothing.bin", {});
  nothing.method = 12;  // never looked at without data
  b.entries.push_back(nothing);
  BuiltEntry encryptedEmpty = storedEntry("encrypted-empty.bin", {});
  encryptTraditional(encryptedEmpty, "pw");
  b.entries.push_back(encryptedEmpty);
  window.answers = {u"pw"};
  ASSERT_EQ(extract(b), 0);
  EXPECT_TRUE(fs::exists(out("nothing.bin")));
  EXPECT_EQ(fs::file_size(out("encrypted-empty.bin")), 0u);
  EXPECT_EQ(window.warningsDialogs, 0);
}

TEST_F(ExtractTest, UnknownMethodFailsAndRemovesThePartialFile) {
  ZipBuilder b;
  b.entries.push_back(storedEntry("first.txt", bytesOf("first")));
  BuiltEntry wavpack = storedEntry("sound.wv", bytesOf("wvpk"));
  wavpack.method = 97;
  b.entries.push_back(wavpack);
  b.entries.push_back(storedEntry("never.txt", bytesOf("never")));
  EXPECT_EQ(extract(b), -1);
  EXPECT_EQ(zip.lastErrorText, u"The Encryption Algorithm used is not recognized by this DLL");
  EXPECT_TRUE(fs::exists(out("first.txt")));
  EXPECT_FALSE(fs::exists(out("xz.bin")));
  EXPECT_FALSE(fs::exists(out("never.txt")));
}

TEST_F(ExtractTest, BadDeflateDataFailsAndRemovesThePartialFile) {
  ZipBuilder b;
  BuiltEntry bad = deflatedEntry("bad.bin", sampleData(50000));
  bad.data[0] = 0xFF;  // block type 3
  b.entries.push_back(bad);
  EXPECT_EQ(extract(b), -1);
  EXPECT_EQ(zip.lastErrorText, u"The file is not identified as a compliant zip file");
  EXPECT_FALSE(fs::exists(out("bad.bin")));
}

TEST_F(ExtractTest, CutDeflateStreamEndsInsteadOfSpinning) {
  ZipBuilder b;
  auto data = sampleData(300000, 3);
  BuiltEntry cut = deflatedEntry("cut.bin", data);
  cut.data.resize(cut.data.size() / 2);
  cut.compressedSize = static_cast<uint32_t>(cut.data.size());
  b.entries.push_back(cut);
  EXPECT_EQ(extract(b), -1);
  EXPECT_EQ(zip.lastErrorText, u"The file is not identified as a compliant zip file");
  EXPECT_FALSE(fs::exists(out("cut.bin")));
}

TEST_F(ExtractTest, DataRunningPastTheEndOfTheArchiveIsReported) {
  ZipBuilder b;
  BuiltEntry e = storedEntry("truncated.bin", sampleData(1000));
  e.compressedSize = 1u << 30;
  b.entries.push_back(e);
  EXPECT_EQ(extract(b), -1);
  EXPECT_EQ(zip.lastErrorText, u"The End-Of-File location does not match the headers");
  EXPECT_FALSE(fs::exists(out("truncated.bin")));
}

TEST_F(ExtractTest, WrongTraditionalPasswordIsAskedAgainUntilItFits) {
  ZipBuilder b;
  auto data = sampleData(20000);
  BuiltEntry e = deflatedEntry("secret.txt", data);
  encryptTraditional(e, "right");
  b.entries.push_back(e);
  BuiltEntry second = storedEntry("second.txt", bytesOf("same password"));
  encryptTraditional(second, "right");
  b.entries.push_back(second);
  window.answers = {u"wrong", u"also wrong", u"right"};
  ASSERT_EQ(extract(b), 0);
  EXPECT_EQ(extracted("secret.txt"), data);
  EXPECT_EQ(extracted("second.txt"), bytesOf("same password"));
  // No password, then two wrong ones; the second entry asks nothing.
  EXPECT_EQ(window.passwordDialogs, 3);
  EXPECT_EQ(zip.password, u"right");
}

TEST_F(ExtractTest, StreamedEntriesCheckTheTimeByte) {
  ZipBuilder b;
  auto data = sampleData(5000);
  BuiltEntry e = deflatedEntry("streamed.txt", data);
  e.dosTime = 0xA1B2;
  e.crc = crcOf(data);
  encryptTraditional(e, "pw", true);
  b.entries.push_back(e);
  ASSERT_EQ(extract(b, false, u"pw"), 0);
  EXPECT_EQ(extracted("streamed.txt"), data);
  EXPECT_EQ(window.passwordDialogs, 0);
}

TEST_F(ExtractTest, CancelAtThePasswordPromptAbortsAndLeavesNoFile) {
  ZipBuilder b;
  BuiltEntry e = storedEntry("locked.txt", bytesOf("locked"));
  encryptTraditional(e, "pw");
  b.entries.push_back(e);
  b.entries.push_back(storedEntry("after.txt", bytesOf("after")));
  EXPECT_EQ(extract(b, false, u"nope"), -1);
  EXPECT_EQ(zip.lastErrorText, u"Unzip Operation Aborted");
  EXPECT_FALSE(fs::exists(out("locked.txt")));
  EXPECT_FALSE(fs::exists(out("after.txt")));
  EXPECT_EQ(zip.abortRequest, 0);
}

TEST_F(ExtractTest, AesEntriesOfEveryKind) {
  ZipBuilder b;
  auto data = sampleData(70000, 5);
  for (int kind : {2, 3, 4}) {
    BuiltEntry deflated = deflatedEntry("deflated" + std::to_string(kind) + ".bin", data);
    encryptAes(deflated, "AES pass", kind);
    b.entries.push_back(deflated);
    BuiltEntry stored = storedEntry("stored" + std::to_string(kind) + ".bin",
                                    std::vector<uint8_t>(data.begin(), data.begin() + 4096));
    encryptAes(stored, "AES pass", kind);
    b.entries.push_back(stored);
  }
  window.answers = {u"not it", u"AES pass"};
  ASSERT_EQ(extract(b), 0);
  for (int kind : {2, 3, 4}) {
    EXPECT_EQ(extracted("deflated" + std::to_string(kind) + ".bin"), data) << kind;
    EXPECT_EQ(extracted("stored" + std::to_string(kind) + ".bin").size(), 4096u) << kind;
  }
  EXPECT_EQ(window.passwordDialogs, 2);
  EXPECT_EQ(window.warningsDialogs, 0);
}

TEST_F(ExtractTest, AesEntriesAcrossManyPasses) {
  zip.bufferKiB = 62;
  ZipBuilder b;
  auto data = sampleData(1 << 20, 9);
  BuiltEntry e = deflatedEntry("many.bin", data);
  encryptAes(e, "pw", 4);
  b.entries.push_back(e);
  BuiltEntry s = storedEntry("stored.bin", data);
  encryptAes(s, "pw", 2);
  b.entries.push_back(s);
  ASSERT_EQ(extract(b, false, u"pw"), 0);
  EXPECT_EQ(extracted("many.bin"), data);
  EXPECT_EQ(extracted("stored.bin"), data);
}

TEST_F(ExtractTest, AbortDuringTheDataRemovesTheFileAndStops) {
  zip.bufferKiB = 30;
  ZipBuilder b;
  for (int i = 1; i <= 5; i++) {
    b.entries.push_back(deflatedEntry(std::to_string(i) + ".bin", sampleData(400000, i)));
  }
  bool pressed = false;
  window.onRefresh = [&pressed](Zip& z) {
    if (z.currentName == u"3.bin" && !pressed) z.abortRequest = pressed = true;
  };
  EXPECT_EQ(extract(b), -1);
  EXPECT_EQ(zip.lastErrorText, u"Unzip Operation Aborted");
  EXPECT_TRUE(fs::exists(out("2.bin")));
  EXPECT_FALSE(fs::exists(out("3.bin")));
  EXPECT_FALSE(fs::exists(out("4.bin")));
  EXPECT_FALSE(zip.busy);
  EXPECT_EQ(zip.abortRequest, 0);
}

}  // namespace
}  // namespace extractor::test
