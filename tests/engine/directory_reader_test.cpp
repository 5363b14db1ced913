#include <gtest/gtest.h>

#include "engine/zip.h"
#include "temp_dir.h"
#include "zip_builder.h"

namespace extractor::test {
namespace {

class DirectoryReader : public ::testing::Test {
 protected:
  int32_t read(const ZipBuilder& builder) { return readBytes(builder.build()); }
  int32_t readBytes(const std::vector<uint8_t>& bytes) {
    writeBytes(dir.path() / "setup.exe", bytes);
    return zip.ReadDirectory(dir.wide("setup.exe"));
  }

  TempDir dir;
  Zip zip;
};

std::vector<uint8_t> stub(size_t n) {
  std::vector<uint8_t> bytes(n);
  for (size_t i = 0; i < n; i++) bytes[i] = static_cast<uint8_t>(i * 7 + 3);
  return bytes;
}

TEST_F(DirectoryReader, ReadsEveryHeaderField) {
  ZipBuilder b;
  b.prefix = stub(1000);
  BuiltEntry e = storedEntry("a/b/c.txt", bytesOf("hello"));
  e.flags = 0x0001;
  e.method = 8;
  e.dosDate = (20 << 9) | (3 << 5) | 1;  // 2000-03-01
  e.dosTime = 12 << 11;
  e.localExtra = e.centralExtra = {0x55, 0x54, 1, 0, 7};
  b.entries.push_back(e);
  b.entries.push_back(storedEntry("C:\\tmp\\x.dat", bytesOf("12345678")));
  ASSERT_EQ(read(b), 0);
  ASSERT_EQ(zip.entries.size(), 2u);
  const ZipEntry& a = zip.entries[0];
  EXPECT_EQ(a.encryptionKind, 1);
  EXPECT_EQ(zip.Encryption, -1);
  EXPECT_EQ(a.directoryName, u"a/b/");
  EXPECT_EQ(a.fileName, u"c.txt");
  EXPECT_EQ(a.method, 8);
  EXPECT_EQ(a.crc, crcOf(bytesOf("hello")));
  EXPECT_EQ(a.compressedSize, 5u);
  EXPECT_EQ(a.uncompressedSize, 5u);
  EXPECT_DOUBLE_EQ(a.dateTime, 36586.5);
  EXPECT_EQ(a.dataOffset, 1000u + 30 + 9 + 5);
  EXPECT_EQ(a.firstDisk, 0);
  EXPECT_EQ(a.source, zip.entries[1].source);
  EXPECT_EQ(zip.entries[1].directoryName, u"tmp\\");
  EXPECT_EQ(zip.bytesTotal, 13u);
  EXPECT_EQ(zip.diskCount, 0);
  EXPECT_FALSE(zip.splitFiles);
}

TEST_F(DirectoryReader, FindsTheEndRecordAtTheEndBehindTheLongestCommentOrNotAtAll) {
  ZipBuilder b;
  b.prefix = stub(70000);
  b.entries.push_back(storedEntry("x.txt", bytesOf("x")));
  ASSERT_EQ(read(b), 0);
  EXPECT_EQ(zip.entries.size(), 1u);

  zip.Reset();
  b.comment = std::string(65535, 'c');
  ASSERT_EQ(read(b), 0);
  EXPECT_EQ(zip.entries.size(), 1u);

  // A record 65,558 bytes before the end lies outside the window.
  zip.Reset();
  b.comment.clear();
  b.afterEndRecord.assign(65558 - 22, 0);
  EXPECT_EQ(read(b), -1);
  EXPECT_EQ(zip.lastErrorText, u"The file is not identified as a compliant zip file");
  zip.Reset();
  b.afterEndRecord.assign(65557 - 22, 0);
  EXPECT_EQ(read(b), 0);
}

TEST_F(DirectoryReader, TakesTheRecordNearestTheEnd) {
  ZipBuilder b;
  b.entries.push_back(storedEntry("real.txt", bytesOf("r")));
  // A comment holding a record whose directory offset points past the file.
  std::vector<uint8_t> fake = {0x50, 0x4B, 0x05, 0x06};
  fake.resize(22, 0);
  fake[16] = 0xFF;
  fake[17] = 0xFF;
  fake[18] = 0xFF;
  fake[19] = 0x7F;
  b.comment.assign(fake.begin(), fake.end());
  EXPECT_EQ(read(b), -1);
  EXPECT_EQ(zip.lastErrorText, u"The file is not identified as a compliant zip file");
}

TEST_F(DirectoryReader, OffsetsFromTheArchiveStartGiveNoEntries) {
  ZipBuilder b;
  b.prefix = stub(5000);
  b.offsetsFromArchiveStart = true;
  b.entries.push_back(storedEntry("x.txt", bytesOf("x")));
  EXPECT_EQ(read(b), 0);
  EXPECT_TRUE(zip.entries.empty());
  ZipBuilder empty;
  empty.prefix = stub(100);
  EXPECT_EQ(read(empty), 0);
  EXPECT_TRUE(zip.entries.empty());
  // A bare end record starts at position 0 of the window, which is not searched.
  empty.prefix.clear();
  EXPECT_EQ(read(empty), -1);
}

TEST_F(DirectoryReader, ShortAndMissingFilesFail) {
  EXPECT_EQ(readBytes(bytesOf("PK\x05\x06 too short")), -1);
  EXPECT_EQ(zip.lastErrorText, u"The file is not identified as a compliant zip file");
  EXPECT_EQ(zip.ReadDirectory(dir.wide("missing.exe")), -1);
  EXPECT_EQ(zip.lastErrorText, u"The file is not identified as a compliant zip file");
  zip.busy = true;
  EXPECT_EQ(zip.ReadDirectory(dir.wide("setup.exe")), -1);
  EXPECT_EQ(zip.lastErrorText,
            u"The current instance of the Zip object is already running an operation");
  zip.busy = false;
}

TEST_F(DirectoryReader, AesKindAndVerifierComeFromTheCentralExtraField) {
  ZipBuilder b;
  BuiltEntry aes = storedEntry("aes.bin", bytesOf("0123456789abcdef"));
  aes.centralExtra = {3, 0};
  for (uint8_t i = 0; i < 16; i++) aes.centralExtra.push_back(0xA0 + i);
  b.entries.push_back(aes);
  for (uint8_t kind : {1, 5}) {
    BuiltEntry other = storedEntry("other.bin", bytesOf("z"));
    other.centralExtra = aes.centralExtra;
    other.centralExtra[0] = kind;
    b.entries.push_back(other);
  }
  // Too short to hold a verification block: not taken as AES.
  BuiltEntry shortExtra = storedEntry("short.bin", bytesOf("s"));
  shortExtra.centralExtra = {2, 0, 1, 2, 3};
  b.entries.push_back(shortExtra);
  ASSERT_EQ(read(b), 0);
  ASSERT_EQ(zip.entries.size(), 4u);
  const ZipEntry& a = zip.entries[0];
  EXPECT_EQ(a.encryptionKind, 3);
  EXPECT_EQ(a.verifierBlock[0], 0xA0);
  EXPECT_EQ(a.verifierBlock[15], 0xAF);
  EXPECT_EQ(a.dataOffset, 30u + 7);
  EXPECT_EQ(zip.Encryption, zipNoEncryption);
  // Local headers at 0, 53 and 93; the central extra length still counts.
  const uint32_t localOffsets[] = {0, 53, 93};
  for (size_t i = 1; i < 3; i++) {
    EXPECT_EQ(zip.entries[i].encryptionKind, 0);
    EXPECT_EQ(zip.entries[i].dataOffset, localOffsets[i] + 30 + 9 + 18);
  }
  EXPECT_EQ(zip.entries[3].encryptionKind, 0);
}

TEST_F(DirectoryReader, VolumeFieldsFollowTheEndRecord) {
  ZipBuilder b;
  BuiltEntry e = storedEntry("v.txt", bytesOf("v"));
  e.disk = 1;
  b.entries.push_back(e);
  b.thisDisk = 2;
  b.directoryDisk = 2;
  ASSERT_EQ(read(b), 0);
  EXPECT_EQ(zip.diskCount, 3);
  EXPECT_EQ(zip.currentDisk, 2);
  EXPECT_TRUE(zip.splitFiles);
  EXPECT_EQ(zip.entries[0].firstDisk, 2);

  zip.Reset();
  b.directoryDisk = 3;  // removable media: the directory disk is one more
  ASSERT_EQ(read(b), 0);
  EXPECT_FALSE(zip.splitFiles);
  EXPECT_EQ(zip.currentDisk, 3);
}

TEST_F(DirectoryReader, HeadersRunningPastTheDirectoryEndIt) {
  ZipBuilder b;
  b.entries.push_back(storedEntry("first.txt", bytesOf("1")));
  BuiltEntry bad = storedEntry("second.txt", bytesOf("2"));
  b.entries.push_back(bad);
  std::vector<uint8_t> bytes = b.build();
  // The second central header claims a comment longer than what follows.
  size_t second = bytes.size() - 22 - (46 + 10);
  bytes[second + 32] = 0xFF;
  bytes[second + 33] = 0xFF;
  ASSERT_EQ(readBytes(bytes), 0);
  ASSERT_EQ(zip.entries.size(), 1u);
  EXPECT_EQ(zip.entries[0].fileName, u"first.txt");
}

TEST_F(DirectoryReader, Utf8FlagDecidesHowNamesDecode) {
  ZipBuilder b;
  BuiltEntry utf8 = storedEntry(
      "Gr\xC3\xB6\xC3\x9F"
      "e.txt",
      bytesOf("u"));
  utf8.flags = 1 << 11;
  b.entries.push_back(utf8);
  b.entries.push_back(
      storedEntry("Gr\xF6\xDF"
                  "e.txt",
                  bytesOf("a")));  // ANSI
  BuiltEntry broken = storedEntry("bad\xC3(.txt", bytesOf("b"));
  broken.flags = 1 << 11;
  b.entries.push_back(broken);
  ASSERT_EQ(read(b), 0);
  EXPECT_EQ(zip.entries[0].fileName, u"Gr\u00F6\u00DFe.txt");
  EXPECT_EQ(zip.entries[1].fileName, u"Gr\u00F6\u00DFe.txt");
  EXPECT_EQ(zip.entries[2].fileName, u"bad\uFFFD(.txt");
}

// Info-ZIP's Unicode Path extra field for the stored name raw.
std::vector<uint8_t> unicodePathField(const std::string& raw, const std::string& utf8,
                                      uint32_t crcAdjust = 0) {
  std::vector<uint8_t> field;
  put16(field, 0x7075);
  put16(field, static_cast<uint16_t>(5 + utf8.size()));
  field.push_back(1);
  put32(field, crcOf(bytesOf(raw)) + crcAdjust);
  field.insert(field.end(), utf8.begin(), utf8.end());
  return field;
}

TEST_F(DirectoryReader, NamesWithoutTheUtf8FlagDecodeAsTheirWriterMeant) {
  constexpr uint16_t kUnix = 3 << 8 | 30;
  constexpr uint16_t kMac = 19 << 8 | 30;
  constexpr uint16_t kDos = 20;
  const std::string japanese = "\xE6\x97\xA5\xE6\x9C\xAC.txt";
  const std::string ansi =
      "Gr\xF6\xDF"
      "e.txt";
  std::vector<uint8_t> timeField = {0x55, 0x54, 5, 0, 3, 1, 2, 3, 4};
  std::vector<uint8_t> withUnicodePath = timeField;
  std::vector<uint8_t> path = unicodePathField("name?.txt", japanese);
  withUnicodePath.insert(withUnicodePath.end(), path.begin(), path.end());
  struct Case {
    std::string raw;
    uint16_t madeBy;
    std::vector<uint8_t> extra;
    std::u16string name;
  } cases[] = {
      // Unix and macOS name files in UTF-8.
      {japanese, kUnix, {}, u"\u65E5\u672C.txt"},
      {japanese, kMac, {}, u"\u65E5\u672C.txt"},
      // Bytes that are no UTF-8, and any name from elsewhere, are ANSI.
      {ansi, kUnix, {}, u"Gr\u00F6\u00DFe.txt"},
      {"\xC3\xA9.txt", kDos, {}, u"\u00C3\u00A9.txt"},
      // The Unicode Path field, behind another field, names the entry...
      {"name?.txt", kDos, withUnicodePath, u"\u65E5\u672C.txt"},
      // ...unless its CRC-32 belongs to another name.
      {"name?.txt", kDos, unicodePathField("name?.txt", japanese, 1), u"name?.txt"},
      {"name?.txt", kDos, unicodePathField("name?.txt", ""), u"name?.txt"},
      {ansi, kDos, unicodePathField("other.txt", japanese), u"Gr\u00F6\u00DFe.txt"},
  };
  ZipBuilder b;
  for (const Case& c : cases) {
    BuiltEntry e = storedEntry(c.raw, bytesOf("x"));
    e.versionMadeBy = c.madeBy;
    e.centralExtra = c.extra;
    b.entries.push_back(e);
  }
  ASSERT_EQ(read(b), 0);
  ASSERT_EQ(zip.entries.size(), std::size(cases));
  for (size_t i = 0; i < std::size(cases); i++) {
    EXPECT_EQ(zip.entries[i].fileName, cases[i].name) << "case " << i;
  }
}

TEST_F(DirectoryReader, Zip64ArchivesAreRefused) {
  ZipBuilder b;
  BuiltEntry big = storedEntry("big.bin", bytesOf("b"));
  big.compressedSize = big.uncompressedSize = 0xFFFFFFFF;
  big.centralExtra = {1, 0, 16, 0};
  big.centralExtra.resize(20, 0);
  b.entries.push_back(big);
  EXPECT_EQ(read(b), -1);
  EXPECT_EQ(zip.lastErrorText, u"Zip File is larger than 4GB");

  // An end record preceded by a ZIP64 locator.
  zip.Reset();
  ZipBuilder located;
  located.entries.push_back(storedEntry("x", bytesOf("x")));
  std::vector<uint8_t> bytes = located.build();
  std::vector<uint8_t> locator = {0x50, 0x4B, 0x06, 0x07};
  locator.resize(20, 0);
  bytes.insert(bytes.end() - 22, locator.begin(), locator.end());
  EXPECT_EQ(readBytes(bytes), -1);
  EXPECT_EQ(zip.lastErrorText, u"Zip File is larger than 4GB");
}

}  // namespace
}  // namespace extractor::test
