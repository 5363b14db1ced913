// Writes ZIP structures byte by byte, so a test can build exactly the
// archive its case needs: any field, offset, extra field or comment.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

#include "engine/little_endian.h"

namespace extractor::test {

struct BuiltEntry {
  std::string name;             // raw bytes as stored
  uint16_t versionMadeBy = 20;  // of the central header; the host system in the high byte
  uint16_t flags = 0;
  uint16_t method = 0;
  uint16_t dosTime = 0;
  uint16_t dosDate = 0;
  uint32_t crc = 0;
  uint64_t compressedSize = 0;
  uint64_t uncompressedSize = 0;
  uint16_t disk = 0;
  uint32_t externalAttributes = 0;
  std::vector<uint8_t> data;          // what follows the local header
  std::vector<uint8_t> centralExtra;  // extra field of the central header
  std::vector<uint8_t> localExtra;    // extra field of the local header
  std::string comment;
  std::optional<uint64_t> localOffset;  // default: where the local header was written
};

// A stored entry with CRC and sizes filled in.
BuiltEntry storedEntry(const std::string& name, const std::vector<uint8_t>& content);
// A deflated entry (raw deflate from zlib at the given level).
BuiltEntry deflatedEntry(const std::string& name, const std::vector<uint8_t>& content,
                         int level = 6);
// Raw deflate of content.
std::vector<uint8_t> deflateRaw(const std::vector<uint8_t>& content, int level = 6);

struct ZipBuilder {
  std::vector<uint8_t> prefix;  // program bytes in front of the archive
  std::vector<BuiltEntry> entries;
  uint16_t thisDisk = 0;
  uint16_t directoryDisk = 0;
  std::optional<uint64_t> directoryOffset;  // default: absolute, where it was written
  bool offsetsFromArchiveStart = false;     // as a plain archive that was appended unadjusted
  std::string comment;
  std::vector<uint8_t> afterEndRecord;  // raw bytes behind the record (not counted as comment)
  // As the end record would claim them; default: the true values.
  std::optional<uint16_t> entryCount;
  std::optional<uint32_t> directorySize;
  // ZIP64 throughout, as "zip -fz" writes it: each entry's sizes and local
  // header offset in ZIP64 extra fields (local and central), and a ZIP64
  // end record with its locator in front of the end record.
  bool zip64 = false;
  // Bytes in front of the archive that build() leaves out (a sparse file
  // supplies them); the offsets count them.
  uint64_t virtualPrefix = 0;

  std::vector<uint8_t> build() const;
};

uint32_t crcOf(const std::vector<uint8_t>& bytes);

// A ZIP64 extra field holding the given values in their order.
std::vector<uint8_t> zip64Extra(std::initializer_list<uint64_t> values);

}  // namespace extractor::test
