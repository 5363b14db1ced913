// Archives and entries past 4 GiB, in sparse files so that the gigabytes
// cost no disk: the program bytes in front, or an entry's stored zeros,
// are holes.
#include <zlib.h>

#include <filesystem>
#include <fstream>

#include "extract_fixture.h"

namespace extractor::test {
namespace {

namespace fs = std::filesystem;

constexpr uint64_t kGiB = uint64_t{1} << 30;

// Appends bytes at offset, a hole in front of them where the file ends
// earlier.
void writeAt(const fs::path& path, uint64_t offset, const std::vector<uint8_t>& bytes) {
  if (!fs::exists(path)) std::ofstream create(path, std::ios::binary);
  fs::resize_file(path, offset);
  std::ofstream out(path, std::ios::binary | std::ios::app);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

class LargeArchive : public ExtractTest {
 protected:
  int32_t extractFile(bool overwrite = true) {
    EXPECT_EQ(zip.ReadDirectory(dir.wide("setup.exe")), 0) << "directory";
    return run(overwrite);
  }
};

// Local headers, directory and records beyond 4 GiB, with the offsets
// counted from the file's start and, appended unadjusted, from the
// archive's own.
TEST_F(LargeArchive, ArchiveBehindFourAndAHalfGibibytes) {
  auto data = sampleData(400000, 8);
  for (bool adjusted : {true, false}) {
    zip.Reset();
    ZipBuilder b;
    b.zip64 = true;
    b.virtualPrefix = 4 * kGiB + kGiB / 2;
    b.offsetsFromArchiveStart = !adjusted;
    b.entries.push_back(deflatedEntry("far/deflated.bin", data));
    b.entries.push_back(storedEntry("far/stored.txt", bytesOf("stored far away")));
    fs::remove(dir.path() / "setup.exe");
    writeAt(dir.path() / "setup.exe", b.virtualPrefix, b.build());
    ASSERT_EQ(extractFile(), 0) << adjusted;
    EXPECT_EQ(zip.entries[1].localHeaderOffset,
              b.virtualPrefix + 30 + 16 + 20 + b.entries[0].data.size());
    EXPECT_EQ(extracted("far/deflated.bin"), data) << adjusted;
    EXPECT_EQ(extracted("far/stored.txt"), bytesOf("stored far away")) << adjusted;
    EXPECT_EQ(window.warningsDialogs, 0) << adjusted;
  }
}

uint32_t crcOfZeros(uint64_t count) {
  constexpr size_t kChunk = 1 << 20;
  std::vector<uint8_t> zeros(kChunk, 0);
  const uLong chunkCrc = crc32(0, zeros.data(), kChunk);
  uLong crc = 0;
  for (; count >= kChunk; count -= kChunk) crc = crc32_combine(crc, chunkCrc, kChunk);
  return static_cast<uint32_t>(crc32(crc, zeros.data(), static_cast<uInt>(count)));
}

// One stored entry of 4 GiB and 100,000 bytes of zeros: every count on its
// way (sizes, positions, bytes written, progress) passes 2^32. Its CRC-32
// and size are checked by the extraction itself: a warning would show.
TEST_F(LargeArchive, EntryLargerThanFourGibibytes) {
  const uint64_t size = 4 * kGiB + 100000;
  BuiltEntry big = storedEntry("big.bin", {});
  big.compressedSize = big.uncompressedSize = size;
  big.crc = crcOfZeros(size);
  // The local header, then the hole of its data, then the directory.
  ZipBuilder local;
  local.zip64 = true;
  local.entries.push_back(big);
  std::vector<uint8_t> built = local.build();
  const size_t headerSize = 30 + 7 + 20;
  std::vector<uint8_t> header(built.begin(), built.begin() + headerSize);
  local.entries[0].localOffset = 0;
  local.virtualPrefix = size;  // counted behind the header, as the data
  built = local.build();
  std::vector<uint8_t> directory(built.begin() + headerSize, built.end());
  writeAt(dir.path() / "setup.exe", 0, header);
  writeAt(dir.path() / "setup.exe", headerSize + size, directory);

  uint64_t mostDone = 0;
  window.onRefresh = [&](Zip& z) { mostDone = std::max<uint64_t>(mostDone, z.bytesDone); };
  ASSERT_EQ(extractFile(), 0);
  EXPECT_EQ(zip.bytesTotal, size);
  EXPECT_EQ(mostDone, size);
  EXPECT_EQ(window.warningsDialogs, 0);
  EXPECT_EQ(fs::file_size(out("big.bin")), size);
  fs::remove(out("big.bin"));
}

}  // namespace
}  // namespace extractor::test
