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

// An archive appended to a program as it was written: its offsets count
// from its own start, and the program's size is added to each.
TEST_F(DirectoryReader, OffsetsFromTheArchiveStartCountFromBehindTheProgram) {
  for (bool zip64 : {false, true}) {
    for (bool adjusted : {false, true}) {
      zip.Reset();
      ZipBuilder b;
      b.prefix = stub(5000);
      b.offsetsFromArchiveStart = !adjusted;
      b.zip64 = zip64;
      b.entries.push_back(storedEntry("x.txt", bytesOf("x")));
      b.entries.push_back(storedEntry("y.txt", bytesOf("yy")));
      ASSERT_EQ(read(b), 0) << zip64 << adjusted;
      ASSERT_EQ(zip.entries.size(), 2u);
      EXPECT_EQ(zip.prefixBytes, adjusted ? 0u : 5000u);
      const uint64_t second = 5000 + 30 + 5 + (zip64 ? 20 : 0) + 1;
      EXPECT_EQ(zip.entries[1].localHeaderOffset, second);
      EXPECT_EQ(zip.entries[1].dataOffset, second + 30 + 5 + (zip64 ? 28 : 0));
    }
  }
}

TEST_F(DirectoryReader, EmptyArchivesReadAsEmpty) {
  struct Case {
    size_t prefix;
    bool fromArchiveStart;
    bool zip64;
  } cases[] = {
      {0, false, false},    // nothing but the 22-byte end record
      {100, false, false},  // behind a program, adjusted
      {100, true, false},   // behind a program, not adjusted
      {0, false, true},     // ZIP64 records only
      {100, true, true},
  };
  for (const Case& c : cases) {
    zip.Reset();
    ZipBuilder b;
    b.prefix = stub(c.prefix);
    b.offsetsFromArchiveStart = c.fromArchiveStart;
    b.zip64 = c.zip64;
    EXPECT_EQ(read(b), 0) << c.prefix << c.fromArchiveStart << c.zip64;
    EXPECT_TRUE(zip.entries.empty());
  }
  EXPECT_EQ(ZipBuilder().build().size(), 22u);
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

// A directory must hold exactly the headers the end records count, from
// its first byte to its last; one that does not add up is reported and
// nothing of it is kept.
TEST_F(DirectoryReader, DirectoriesThatDoNotAddUpAreNoArchive) {
  ZipBuilder b;
  BuiltEntry encrypted = storedEntry("first.txt", bytesOf("1"));
  encrypted.flags = 1;
  b.entries.push_back(encrypted);
  b.entries.push_back(storedEntry("second.txt", bytesOf("22")));
  b.entries.push_back(storedEntry("third.txt", bytesOf("333")));
  const size_t first = 30 * 3 + 9 + 10 + 9 + 6;  // the directory's start
  const size_t second = first + 46 + 9;
  const uint32_t size = (46 * 3) + 9 + 10 + 9;
  struct Case {
    const char* what;
    std::optional<uint16_t> count;
    std::optional<uint32_t> size;
    size_t patchAt;  // 0: nothing patched
    uint8_t patch;
    bool zip64;
  } cases[] = {
      {"count one high", 4, std::nullopt, 0, 0, false},
      {"count one low", 2, std::nullopt, 0, 0, false},
      {"count zero", 0, std::nullopt, 0, 0, false},
      {"ZIP64 count one low", 2, std::nullopt, 0, 0, true},
      {"size one larger", std::nullopt, size + 1, 0, 0, false},
      {"size one smaller", std::nullopt, size - 1, 0, 0, false},
      {"size zero", std::nullopt, 0, 0, 0, false},
      {"count and size zero", 0, 0, 0, 0, false},
      {"no central header at the start", std::nullopt, std::nullopt, first, 'X', false},
      {"no central header in the middle", std::nullopt, std::nullopt, second, 'X', false},
      {"a comment running into the next", std::nullopt, std::nullopt, second + 32, 1, false},
      {"a name running into the next", std::nullopt, std::nullopt, first + 28, 12, false},
      {"the last comment running past the end", std::nullopt, std::nullopt, second + 46 + 10 + 32,
       1, false},
  };
  for (const Case& c : cases) {
    zip.Reset();
    ZipBuilder broken = b;
    broken.entryCount = c.count;
    broken.directorySize = c.size;
    broken.zip64 = c.zip64;
    std::vector<uint8_t> bytes = broken.build();
    if (c.patchAt) bytes[c.patchAt] = c.patch;
    EXPECT_EQ(readBytes(bytes), -1) << c.what;
    EXPECT_EQ(zip.lastErrorText, u"The file is not identified as a compliant zip file") << c.what;
    EXPECT_TRUE(zip.entries.empty()) << c.what;
    EXPECT_EQ(zip.bytesTotal, 0u) << c.what;
    EXPECT_EQ(zip.Encryption, zipNoEncryption) << c.what;
  }
  zip.Reset();
  EXPECT_EQ(read(b), 0);
  EXPECT_EQ(zip.entries.size(), 3u);
}

// Writers without ZIP64 let the 16-bit entry count wrap.
TEST_F(DirectoryReader, CountsThatWrappedAt65536) {
  ZipBuilder b;
  for (int i = 0; i < 65536 + 2; i++) b.entries.push_back(storedEntry("e" + std::to_string(i), {}));
  ASSERT_EQ(read(b), 0);
  EXPECT_EQ(zip.entries.size(), 65538u);
  EXPECT_EQ(zip.entries.back().fileName, u"e65537");
}

TEST_F(DirectoryReader, DosFolderAttributeMakesAFolder) {
  struct Case {
    uint8_t host;
    uint32_t attributes;
    std::string name;
    std::u16string directory;
    std::u16string file;
  } cases[] = {
      {0, 0x10, "def", u"def/", u""},     // MS-DOS
      {10, 0x10, "a/b", u"a/b/", u""},    // Windows NTFS
      {14, 0x30, "vfat", u"vfat/", u""},  // VFAT, archive bit too
      {0, 0x10, "dir/", u"dir/", u""},    // already marked
      {0, 0x20, "file", u"", u"file"},    // archive bit only
      {3, 0x10, "unix", u"", u"unix"},    // Unix: mode in the high half
      {3, 0x41ED0010, "unixdir", u"", u"unixdir"},
  };
  ZipBuilder b;
  for (const Case& c : cases) {
    BuiltEntry e = storedEntry(c.name, {});
    e.versionMadeBy = static_cast<uint16_t>(c.host << 8 | 20);
    e.externalAttributes = c.attributes;
    b.entries.push_back(e);
  }
  ASSERT_EQ(read(b), 0);
  ASSERT_EQ(zip.entries.size(), std::size(cases));
  for (size_t i = 0; i < std::size(cases); i++) {
    EXPECT_EQ(zip.entries[i].directoryName, cases[i].directory) << i;
    EXPECT_EQ(zip.entries[i].fileName, cases[i].file) << i;
  }
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

// Only the fields whose header value is saturated are in the ZIP64 extra
// field, in the order uncompressed size, compressed size, local header
// offset, disk.
TEST_F(DirectoryReader, Zip64ExtraFieldWidensTheSaturatedFields) {
  constexpr uint64_t u = 5000000000, c = 6000000000, o = 7000000000;
  constexpr uint32_t full = 0xFFFFFFFF;
  struct Case {
    bool wideU, wideC, wideO;
    std::vector<uint64_t> extra;
  } cases[] = {
      {true, false, false, {u}},   {false, true, false, {c}},   {false, false, true, {o}},
      {true, true, false, {u, c}}, {false, true, true, {c, o}}, {true, true, true, {u, c, o}},
  };
  for (const Case& k : cases) {
    zip.Reset();
    ZipBuilder b;
    BuiltEntry e = storedEntry("big.bin", bytesOf("b"));
    e.uncompressedSize = k.wideU ? full : 1000;
    e.compressedSize = k.wideC ? full : 900;
    if (k.wideO) e.localOffset = full;
    std::vector<uint8_t> field = {0x55, 0x54, 1, 0, 7};  // another field first
    std::vector<uint8_t> wide;
    put16(wide, 1);
    put16(wide, static_cast<uint16_t>(8 * k.extra.size()));
    for (uint64_t v : k.extra) {
      put32(wide, static_cast<uint32_t>(v));
      put32(wide, static_cast<uint32_t>(v >> 32));
    }
    field.insert(field.end(), wide.begin(), wide.end());
    e.centralExtra = field;
    b.entries.push_back(e);
    ASSERT_EQ(read(b), 0);
    const ZipEntry& r = zip.entries[0];
    EXPECT_EQ(r.uncompressedSize, k.wideU ? u : 1000u);
    EXPECT_EQ(r.compressedSize, k.wideC ? c : 900u);
    EXPECT_EQ(r.localHeaderOffset, k.wideO ? o : 0u);
    EXPECT_EQ(zip.bytesTotal, r.uncompressedSize);

    // One value short of the saturated fields: the directory is broken.
    zip.Reset();
    b.entries[0].centralExtra.resize(field.size() - 8);
    b.entries[0].centralExtra[7] = static_cast<uint8_t>(8 * (k.extra.size() - 1));
    EXPECT_EQ(read(b), -1);
    EXPECT_TRUE(zip.entries.empty());
  }
}

// The locator's signature at the end of the last name, right in front of
// a valid end record, leads to no ZIP64 end record and changes nothing.
TEST_F(DirectoryReader, Zip64LocatorBytesInANameAreAName) {
  for (size_t tail : {size_t{0}, size_t{4}, size_t{20}}) {
    zip.Reset();
    ZipBuilder b;
    std::string name = "name";
    name += "PK\x06\x07";
    name += std::string(tail, '\0');
    b.entries.push_back(storedEntry(name, bytesOf("x")));
    std::vector<uint8_t> bytes = b.build();
    ASSERT_EQ(readBytes(bytes), 0) << tail;
    EXPECT_EQ(zip.entries.size(), 1u);
  }
}

}  // namespace
}  // namespace extractor::test
