// Writes ZIP structures byte by byte, so a test can build exactly the
// archive its case needs: any field, offset, extra field or comment.
#pragma once

#include <cstdint>
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
  uint32_t compressedSize = 0;
  uint32_t uncompressedSize = 0;
  uint16_t disk = 0;
  std::vector<uint8_t> data;          // what follows the local header
  std::vector<uint8_t> centralExtra;  // extra field of the central header
  std::vector<uint8_t> localExtra;    // extra field of the local header
  std::string comment;
  std::optional<uint32_t> localOffset;  // default: where the local header was written
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
  std::optional<uint32_t> directoryOffset;  // default: absolute, where it was written
  bool offsetsFromArchiveStart = false;     // as a plain archive that was appended unadjusted
  std::string comment;
  std::vector<uint8_t> afterEndRecord;  // raw bytes behind the record (not counted as comment)

  std::vector<uint8_t> build() const;
};

uint32_t crcOf(const std::vector<uint8_t>& bytes);

}  // namespace extractor::test
