// The packer's ZIP records at the 4 GB and 65,535-entry limits: ZIP64
// records exactly where a value does not fit, and other readers accepting
// an archive whose second entry and directory lie beyond 4 GiB (a sparse
// file, so nothing of that size is written).
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "crypto/crc32.h"
#include "zip_records.h"

namespace extractor::pack {
namespace {

constexpr uint64_t kGiB = uint64_t{1} << 30;

// The values of the first ZIP64 field in a list of extra fields.
std::vector<uint64_t> zip64Values(const uint8_t* extra, size_t size) {
  const uint8_t* data = nullptr;
  uint16_t length = 0;
  std::vector<uint64_t> values;
  if (!findZip64Field(extra, size, data, length)) return values;
  for (uint16_t p = 0; p + 8 <= length; p += 8) values.push_back(load64(data + p));
  return values;
}

uint32_t expected32(uint64_t value) {
  return value >= 0xFFFFFFFF ? 0xFFFFFFFF : static_cast<uint32_t>(value);
}

TEST(PackRecordsTest, LocalHeaderHoldsBothSizesInZip64WhenEitherNeedsIt) {
  struct Case {
    uint64_t uncompressed, compressed;
    bool zip64;
  } cases[] = {
      {0, 0, false},
      {0xFFFFFFFE, 0xFFFFFFFE, false},
      {0xFFFFFFFF, 10, true},  // the marker itself cannot be a size
      {5 * kGiB, 5 << 20, true},
      {100, 4 * kGiB, true},
  };
  for (const Case& c : cases) {
    EntryFields fields;
    fields.name = "a.bin";
    fields.uncompressedSize = c.uncompressed;
    fields.compressedSize = c.compressed;
    std::vector<uint8_t> h = localHeader(fields);
    SCOPED_TRACE(c.uncompressed);
    EXPECT_EQ(load16(&h[4]), c.zip64 ? 45 : 20);
    EXPECT_EQ(load16(&h[28]), c.zip64 ? 20 : 0);
    ASSERT_EQ(h.size(), 30u + 5 + load16(&h[28]));
    EXPECT_EQ(load32(&h[18]), c.zip64 ? 0xFFFFFFFF : c.compressed);
    EXPECT_EQ(load32(&h[22]), c.zip64 ? 0xFFFFFFFF : c.uncompressed);
    std::vector<uint64_t> want;
    if (c.zip64) want = {c.uncompressed, c.compressed};
    EXPECT_EQ(zip64Values(&h[35], h.size() - 35), want);
  }
}

TEST(PackRecordsTest, CentralHeaderMovesOnlyWhatDoesNotFitIntoZip64) {
  struct Case {
    uint64_t uncompressed, compressed, offset;
    std::vector<uint64_t> zip64;  // in the field's order
  } cases[] = {
      {10, 10, 0xFFFFFFFE, {}},
      {10, 10, 0xFFFFFFFF, {0xFFFFFFFF}},
      {10, 10, 5 * kGiB, {5 * kGiB}},
      {6 * kGiB, 1 << 20, 5 * kGiB, {6 * kGiB, 5 * kGiB}},
      {6 * kGiB, 6 * kGiB, 1, {6 * kGiB, 6 * kGiB}},
      {1, 4 * kGiB, 0, {4 * kGiB}},
      {6 * kGiB, 5 * kGiB, 7 * kGiB, {6 * kGiB, 5 * kGiB, 7 * kGiB}},
  };
  // An entry copied from another archive: Unix "made by", another extra
  // field and a comment, all of which stay.
  EntryFields fields;
  fields.name = "dir/file.txt";
  fields.centralExtra = {0x55, 0x54, 5, 0, 1, 0x10, 0x20, 0x30, 0x40};
  CentralEntry entry = centralEntry(fields);
  store16(&entry.fixed[4], 0x031E);
  entry.comment = {'h', 'i'};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.offset);
    entry.uncompressedSize = c.uncompressed;
    entry.compressedSize = c.compressed;
    std::vector<uint8_t> h = centralHeader(entry, 0, c.offset);
    ASSERT_EQ(h.size(), centralHeaderSize(entry, c.offset));
    EXPECT_EQ(centralNeedsZip64(entry, c.offset), !c.zip64.empty());
    EXPECT_EQ(load16(&h[4]), c.zip64.empty() ? 0x031E : 0x032D);
    EXPECT_EQ(load16(&h[6]), c.zip64.empty() ? 20 : 45);
    EXPECT_EQ(load32(&h[20]), expected32(c.compressed));
    EXPECT_EQ(load32(&h[24]), expected32(c.uncompressed));
    EXPECT_EQ(load32(&h[42]), expected32(c.offset));
    uint16_t nameLength = load16(&h[28]), extraLength = load16(&h[30]);
    const uint8_t* extra = &h[46 + nameLength];
    EXPECT_EQ(zip64Values(extra, extraLength), c.zip64);
    EXPECT_EQ(withoutZip64(extra, extraLength), fields.centralExtra);
    EXPECT_EQ(std::vector<uint8_t>(extra + extraLength, extra + extraLength + entry.comment.size()),
              entry.comment);
  }
}

// Info-ZIP unzip takes flagged UTF-8 names as UTF-8 only when they were not
// made on FAT.
TEST(PackRecordsTest, OwnEntriesAreMadeOnNtfsAlsoWithZip64) {
  EntryFields fields;
  fields.name =
      "Gr\xC3\xB6\xC3\x9F"
      "e.txt";
  fields.version = 46;
  CentralEntry entry = centralEntry(fields);
  EXPECT_EQ(load16(&centralHeader(entry, 0, 100)[4]), 0x0A2E);
  EXPECT_EQ(load16(&centralHeader(entry, 0, 5 * kGiB)[4]), 0x0A2E);
  fields.version = 20;
  entry = centralEntry(fields);
  EXPECT_EQ(load16(&centralHeader(entry, 0, 5 * kGiB)[4]), 0x0A2D);
}

TEST(PackRecordsTest, Zip64FieldLeavesListsOnlyAndBareBlocksStay) {
  std::vector<uint8_t> list = {0x55, 0x54, 1, 0, 7, 1,  0,  8, 0, 1, 2, 3,
                               4,    5,    6, 7, 8, 10, 20, 2, 0, 9, 9};
  EXPECT_EQ(withoutZip64(list.data(), list.size()),
            (std::vector<uint8_t>{0x55, 0x54, 1, 0, 7, 10, 20, 2, 0, 9, 9}));
  EXPECT_EQ(zip64Values(list.data(), list.size()), std::vector<uint64_t>{0x0807060504030201});
  // The extractor's AES entries: kind, zero, a 16-byte block, no lengths.
  std::vector<uint8_t> aes = {3, 0};
  for (uint8_t i = 0; i < 16; i++) aes.push_back(static_cast<uint8_t>(0xA0 + i));
  EXPECT_EQ(withoutZip64(aes.data(), aes.size()), aes);
  // A field that claims more than there is ends the list unread.
  std::vector<uint8_t> cut = {1, 0, 16, 0, 1, 2, 3};
  EXPECT_EQ(withoutZip64(cut.data(), cut.size()), cut);
  EXPECT_TRUE(zip64Values(cut.data(), cut.size()).empty());
}

TEST(PackRecordsTest, EndRecordsGetZip64OnlyWhenCountSizeOrOffsetNeedIt) {
  struct Case {
    uint64_t entries, size, offset;
    bool zip64;
  } cases[] = {
      {0, 0, 0, false},
      {65534, 3000000, 0xFFFFFFFE - 3000000, false},
      {65535, 3000000, 200, true},  // 0xFFFF marks the count
      {70000, 5000000, 200, true},
      {3, 150, 0xFFFFFFFF, true},
      {3, 150, 5 * kGiB, true},
      {3, 4 * kGiB, 10, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.entries);
    EndRecord record;
    record.entries = c.entries;
    record.directorySize = c.size;
    record.directoryOffset = c.offset;
    std::vector<uint8_t> b = endRecords(record);
    EXPECT_EQ(endNeedsZip64(record), c.zip64);
    ASSERT_EQ(b.size(), c.zip64 ? 98u : 22u);
    ASSERT_EQ(endRecordsSize(record), b.size());
    const uint8_t* end = &b[b.size() - 22];
    uint16_t count = c.entries >= 0xFFFF ? 0xFFFF : static_cast<uint16_t>(c.entries);
    EXPECT_EQ(load32(end), 0x06054b50u);
    EXPECT_EQ(load16(end + 8), count);
    EXPECT_EQ(load16(end + 10), count);
    EXPECT_EQ(load32(end + 12), expected32(c.size));
    EXPECT_EQ(load32(end + 16), expected32(c.offset));
    if (!c.zip64) continue;
    EXPECT_EQ(load32(&b[0]), 0x06064b50u);
    EXPECT_EQ(load64(&b[4]), 44u);
    EXPECT_EQ(load16(&b[12]), 45);
    EXPECT_EQ(load16(&b[14]), 45);
    EXPECT_EQ(load64(&b[16]), 0u);  // this disk, the directory's disk
    EXPECT_EQ(load64(&b[24]), c.entries);
    EXPECT_EQ(load64(&b[32]), c.entries);
    EXPECT_EQ(load64(&b[40]), c.size);
    EXPECT_EQ(load64(&b[48]), c.offset);
    EXPECT_EQ(load32(&b[56]), 0x07064b50u);
    EXPECT_EQ(load32(&b[60]), 0u);
    EXPECT_EQ(load64(&b[64]), c.offset + c.size);  // the ZIP64 end record follows the directory
    EXPECT_EQ(load32(&b[72]), 1u);
  }
}

#ifndef _WIN32
// Two stored entries, the second 4 GiB and 16 bytes into the file, and the
// directory behind it: a sparse file of that length.
void writeFarArchive(const std::filesystem::path& path) {
  struct Entry {
    std::string name, data;
    uint64_t offset;
  } entries[] = {{"near.txt", "close by\n", 0}, {"far.txt", "far away\n", 4 * kGiB + 16}};
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  std::vector<uint8_t> directory;
  for (const Entry& e : entries) {
    EntryFields fields;
    fields.name = e.name;
    fields.crc = crc32Update(0, reinterpret_cast<const uint8_t*>(e.data.data()),
                             static_cast<int32_t>(e.data.size()));
    fields.compressedSize = fields.uncompressedSize = e.data.size();
    fields.dosDate = (44 << 9) | (1 << 5) | 1;
    std::vector<uint8_t> local = localHeader(fields);
    out.seekp(static_cast<std::streamoff>(e.offset));
    out.write(reinterpret_cast<const char*>(local.data()),
              static_cast<std::streamsize>(local.size()));
    out << e.data;
    std::vector<uint8_t> central = centralHeader(centralEntry(fields), 0, e.offset);
    directory.insert(directory.end(), central.begin(), central.end());
  }
  EndRecord record;
  record.entries = 2;
  record.directorySize = directory.size();
  record.directoryOffset = static_cast<uint64_t>(out.tellp());
  std::vector<uint8_t> end = endRecords(record);
  directory.insert(directory.end(), end.begin(), end.end());
  out.write(reinterpret_cast<const char*>(directory.data()),
            static_cast<std::streamsize>(directory.size()));
}

bool installed(const std::string& tool) {
  return std::system(("command -v " + tool + " >/dev/null 2>&1").c_str()) == 0;
}

#endif

TEST(PackRecordsTest, OtherReadersFindEntriesAndDirectoryBeyond4GiB) {
#ifdef _WIN32
  GTEST_SKIP() << "natively only: the readers are Linux programs, and the archive is sparse";
#else
  std::filesystem::path path =
      std::filesystem::temp_directory_path() /
      ("far-" + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()) +
       ".zip");
  writeFarArchive(path);
  std::string quoted = "'" + path.string() + "'";
  struct Reader {
    std::string tool, command;
  } readers[] = {
      {"python3",
       "python3 -c \"import sys, zipfile; z = zipfile.ZipFile(sys.argv[1]); "
       "sys.exit(z.testzip() or z.read('far.txt') != b'far away\\n')\" " +
           quoted},
      {"unzip", "unzip -tq " + quoted + " >/dev/null"},
      {"7z", "7z t -tzip " + quoted + " >/dev/null"},
  };
  for (const Reader& r : readers) {
    if (!installed(r.tool)) {
      std::printf("%s is not installed: not checked\n", r.tool.c_str());
      continue;
    }
    EXPECT_EQ(std::system(r.command.c_str()), 0) << r.command;
  }
  std::filesystem::remove(path);
#endif
}

}  // namespace
}  // namespace extractor::pack
