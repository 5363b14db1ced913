// The fixed records of a ZIP archive as the packer writes them. Sizes,
// offsets and the entry count that do not fit their classic fields go into
// ZIP64 records, which are written only then: an archive that needs none
// stays readable by tools that know no ZIP64.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/little_endian.h"
#include "engine/zip_format.h"

namespace extractor::pack {

// A 32-bit size or offset field holding this says the value is in the
// ZIP64 extra field; so a value of exactly this also goes there.
constexpr uint32_t kZip64Marker = 0xFFFFFFFF;
constexpr uint16_t kZip64CountMarker = 0xFFFF;

inline void put64(std::vector<uint8_t>& out, uint64_t value) {
  put32(out, static_cast<uint32_t>(value));
  put32(out, static_cast<uint32_t>(value >> 32));
}

inline uint64_t load64(const uint8_t* p) {
  return load32(p) | uint64_t{load32(p + 4)} << 32;
}

inline bool exceeds32(uint64_t value) {
  return value >= kZip64Marker;
}

// What the local and the central header of an entry say.
struct EntryFields {
  uint16_t flags = 0;
  uint16_t method = kMethodStored;
  uint16_t version = 20;  // needed to extract, and made by (on NTFS)
  uint16_t dosTime = 0;
  uint16_t dosDate = 0;
  uint32_t crc = 0;
  uint64_t compressedSize = 0;
  uint64_t uncompressedSize = 0;
  std::string name;                   // bytes as stored
  std::vector<uint8_t> centralExtra;  // behind ZIP64's, when the entry needs that
  std::vector<uint8_t> localExtra;    // likewise
  uint32_t externalAttributes = 0;
};

// The format version an entry needs: packed is the compression method,
// stored the one the headers name (WinZip AES names its own).
uint16_t neededVersion(uint16_t packed, uint16_t stored);

// With a ZIP64 extra field holding both sizes when either needs it.
std::vector<uint8_t> localHeader(const EntryFields& fields);

// An entry of the directory before its local header's place is known.
struct CentralEntry {
  std::vector<uint8_t> fixed;  // the 46 bytes up to the name; sizes and location are set later
  std::string name;
  std::vector<uint8_t> extra;  // without a ZIP64 field
  std::vector<uint8_t> comment;
  uint64_t compressedSize = 0;
  uint64_t uncompressedSize = 0;
};

CentralEntry centralEntry(const EntryFields& fields);

// True when the entry's central header needs a ZIP64 extra field.
bool centralNeedsZip64(const CentralEntry& entry, uint64_t offset);

// The bytes centralHeader gives for the entry at offset.
size_t centralHeaderSize(const CentralEntry& entry, uint64_t offset);

// The central header of the entry whose local header is at offset on disk,
// with a ZIP64 extra field for what does not fit the classic fields.
std::vector<uint8_t> centralHeader(const CentralEntry& entry, uint16_t disk, uint64_t offset);

// The extra field without its ZIP64 fields; unchanged when it is no list
// of fields (the extractor's AES entries keep a bare block there).
std::vector<uint8_t> withoutZip64(const uint8_t* extra, size_t size);

// The ZIP64 extra field among extra, if the list has one.
bool findZip64Field(const uint8_t* extra, size_t size, const uint8_t*& data, uint16_t& length);

struct EndRecord {
  uint16_t thisDisk = 0;
  uint16_t directoryDisk = 0;
  uint64_t entries = 0;
  uint64_t directorySize = 0;
  uint64_t directoryOffset = 0;
};

bool endNeedsZip64(const EndRecord& record);

// The records behind the directory: a ZIP64 end record and its locator when
// the count, size or offset need them, then the classic end record. The
// directory ends at directoryOffset + directorySize in the file, where the
// ZIP64 end record starts.
std::vector<uint8_t> endRecords(const EndRecord& record);

// The bytes endRecords takes.
uint32_t endRecordsSize(const EndRecord& record);

}  // namespace extractor::pack
