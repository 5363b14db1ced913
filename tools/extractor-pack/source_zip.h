// An existing ZIP archive, ZIP64 or not, whose entries are copied into a
// self-extracting file as they are: only the offsets of the headers change,
// and with them the ZIP64 fields the directory needs.
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <vector>

#include "spool.h"
#include "zip_records.h"

namespace extractor::pack {

struct SourceEntry {
  CentralEntry central;      // as found, its ZIP64 field taken apart
  uint64_t localOffset = 0;  // in the source file
  uint32_t localSize = 0;    // local header, name and extra field
  uint32_t headSize = 0;     // the same with an encryption header
  uint64_t copySize = 0;     // local header to the end of its data descriptor
  uint32_t blockSize = 1;    // 16 for the extractor's AES entries
  std::string name;
};

class SourceZip {
 public:
  Error open(const std::filesystem::path& path);
  const std::vector<SourceEntry>& entries() const { return entries_; }
  uint64_t dataBytes() const;
  // Hands size bytes from the entry's local header on to sink: the header,
  // the data and a data descriptor follow each other.
  Error copy(const SourceEntry& entry, uint64_t from, uint64_t size, const ByteSink& sink);

 private:
  Error readAt(uint64_t offset, uint8_t* buffer, size_t size);
  Error readZip64Values(const uint8_t* central, const std::string& name, uint64_t& uncompressed,
                        uint64_t& compressed, uint64_t& offset) const;
  std::string severalVolumes() const;
  Error readEntry(const uint8_t* central, size_t size, int64_t shift);

  std::filesystem::path path_;
  std::ifstream file_;
  uint64_t fileSize_ = 0;
  std::vector<SourceEntry> entries_;
};

}  // namespace extractor::pack
