// WinZip AES entries through the whole pipeline: every strength and vendor
// version, the password loop, and what a damaged entry leaves behind.
#include <filesystem>

#include "crypto/winzip_aes.h"
#include "entry_crypto.h"
#include "extract_fixture.h"

namespace extractor::test {
namespace {

namespace fs = std::filesystem;

const std::string kPassword = "Gr\xc3\xbc\xc3\x9f Gott";  // UTF-8, as the writers key it
const std::u16string kWidePassword = u"Gr\u00fc\u00df Gott";

std::vector<uint8_t> bytesOf(const std::string& text) {
  return std::vector<uint8_t>(text.begin(), text.end());
}

TEST_F(ExtractTest, WinZipAesEntriesOfEveryStrengthAndVersion) {
  zip.bufferKiB = 62;  // many passes, and chunks that cut the data anywhere
  ZipBuilder b;
  auto data = sampleData(300000, 4);
  for (int strength = 1; strength <= 3; strength++) {
    for (int version = 1; version <= 2; version++) {
      std::string tag = std::to_string(strength) + "-" + std::to_string(version);
      BuiltEntry deflated = deflatedEntry("deflated" + tag, data);
      encryptWinZipAes(deflated, kPassword, strength, version);
      b.entries.push_back(deflated);
      BuiltEntry stored = storedEntry("stored" + tag, data);
      encryptWinZipAes(stored, kPassword, strength, version);
      b.entries.push_back(stored);
    }
  }
  BuiltEntry empty = storedEntry("empty", {});
  encryptWinZipAes(empty, kPassword, 3);
  b.entries.push_back(empty);
  window.answers = {u"wrong", kWidePassword};
  ASSERT_EQ(extract(b), 0);
  for (const BuiltEntry& e : b.entries) {
    if (e.name == "empty") continue;
    EXPECT_EQ(extracted(e.name), data) << e.name;
  }
  EXPECT_TRUE(fs::exists(out("empty")));
  EXPECT_EQ(fs::file_size(out("empty")), 0u);
  // No password, then a wrong one; the other entries ask nothing.
  EXPECT_EQ(window.passwordDialogs, 2);
  EXPECT_EQ(window.warningsDialogs, 0);
}

TEST_F(ExtractTest, WinZipAesFlippedCiphertextByteWarnsAndLeavesNoFile) {
  ZipBuilder b;
  auto data = sampleData(100000, 6);
  BuiltEntry stored = storedEntry("stored.bin", data);
  encryptWinZipAes(stored, kPassword, 3);
  BuiltEntry deflated = deflatedEntry("deflated.bin", data);
  encryptWinZipAes(deflated, kPassword, 1);
  for (BuiltEntry* e : {&stored, &deflated}) {
    e->data[e->data.size() / 2] ^= 0x20;
    b.entries.push_back(*e);
  }
  b.entries.push_back(storedEntry("after.txt", bytesOf("after")));
  ASSERT_EQ(extract(b, false, kWidePassword), 0);
  EXPECT_FALSE(fs::exists(out("stored.bin")));
  EXPECT_FALSE(fs::exists(out("deflated.bin")));
  EXPECT_EQ(window.shownWarnings,
            u"stored.bin: CRC Does Not Match\r\ndeflated.bin: CRC Does Not Match");
  EXPECT_EQ(extracted("after.txt"), bytesOf("after"));
}

// AE-1 keeps the CRC-32, and it is checked besides the code.
TEST_F(ExtractTest, WinZipAesVersion1ChecksTheCrc) {
  ZipBuilder b;
  BuiltEntry e = storedEntry("ae1.txt", bytesOf("version one"));
  e.crc ^= 1;
  encryptWinZipAes(e, kPassword, 2, 1);
  b.entries.push_back(e);
  ASSERT_EQ(extract(b, false, kWidePassword), 0);
  EXPECT_EQ(window.shownWarnings, u"ae1.txt: CRC Does Not Match");
  EXPECT_EQ(extracted("ae1.txt"), bytesOf("version one"));
}

TEST_F(ExtractTest, WinZipAesCancelAtThePromptLeavesNoFile) {
  ZipBuilder b;
  BuiltEntry e = storedEntry("locked.txt", bytesOf("locked"));
  encryptWinZipAes(e, kPassword, 3);
  b.entries.push_back(e);
  window.answers = {u"wrong"};
  EXPECT_EQ(extract(b), -1);
  EXPECT_EQ(zip.lastErrorText, u"Unzip Operation Aborted");
  EXPECT_FALSE(fs::exists(out("locked.txt")));
}

TEST_F(ExtractTest, WinZipAesEntryTooShortForItsSaltFails) {
  ZipBuilder b;
  BuiltEntry e = storedEntry("short.txt", bytesOf("x"));
  encryptWinZipAes(e, kPassword, 3);
  e.data.resize(12);
  e.compressedSize = 12;
  b.entries.push_back(e);
  EXPECT_EQ(extract(b, false, kWidePassword), -1);
  EXPECT_FALSE(fs::exists(out("short.txt")));
}

// A field of another vendor or an unknown strength leaves method 99.
TEST_F(ExtractTest, WinZipAesFieldsThatAreNotUnderstoodLeaveMethod99) {
  ZipBuilder b;
  BuiltEntry e = storedEntry("odd.txt", bytesOf("odd"));
  encryptWinZipAes(e, kPassword, 3);
  e.centralExtra[8] = 4;  // strength 4
  b.entries.push_back(e);
  EXPECT_EQ(extract(b, false, kWidePassword), -1);
  EXPECT_EQ(zip.lastErrorText, u"The Encryption Algorithm used is not recognized by this DLL");
  EXPECT_FALSE(fs::exists(out("odd.txt")));
}

// Sizes in a ZIP64 field in front of the AES field, as writers put them.
TEST_F(ExtractTest, WinZipAesEntryWithZip64Sizes) {
  ZipBuilder b;
  auto data = sampleData(50000, 8);
  BuiltEntry e = deflatedEntry("wide.bin", data);
  encryptWinZipAes(e, kPassword, 3);
  std::vector<uint8_t> extra;
  put16(extra, 0x0001);
  put16(extra, 16);
  put32(extra, e.uncompressedSize);
  put32(extra, 0);
  put32(extra, e.compressedSize);
  put32(extra, 0);
  extra.insert(extra.end(), e.centralExtra.begin(), e.centralExtra.end());
  e.centralExtra = e.localExtra = extra;
  e.compressedSize = e.uncompressedSize = 0xFFFFFFFF;
  b.entries.push_back(e);
  ASSERT_EQ(extract(b, false, kWidePassword), 0);
  EXPECT_EQ(extracted("wide.bin"), data);
}

}  // namespace
}  // namespace extractor::test
