// The fixed records of a ZIP archive as the packer writes them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/little_endian.h"

namespace extractor::pack {

constexpr uint32_t kLocalHeaderSize = 30;
constexpr uint32_t kCentralHeaderSize = 46;
constexpr uint32_t kEndRecordSize = 22;
constexpr uint16_t kEncryptedFlag = 1 << 0;
constexpr uint16_t kUtf8NameFlag = 1 << 11;
constexpr uint16_t kStored = 0;
constexpr uint16_t kDeflated = 8;

// What the local and the central header of an entry say.
struct EntryFields {
  uint16_t flags = 0;
  uint16_t method = kStored;
  uint16_t dosTime = 0;
  uint16_t dosDate = 0;
  uint32_t crc = 0;
  uint32_t compressedSize = 0;
  uint32_t uncompressedSize = 0;
  std::string name;  // bytes as stored
  std::vector<uint8_t> centralExtra;
  std::vector<uint8_t> localExtra;
  uint32_t externalAttributes = 0;
};

std::vector<uint8_t> localHeader(const EntryFields& fields);

// With disk 0 and offset 0: the writer sets both once the layout is known.
std::vector<uint8_t> centralHeader(const EntryFields& fields);
void setCentralLocation(std::vector<uint8_t>& header, uint16_t disk, uint32_t offset);

struct EndRecord {
  uint16_t thisDisk = 0;
  uint16_t directoryDisk = 0;
  uint16_t entries = 0;
  uint32_t directorySize = 0;
  uint32_t directoryOffset = 0;
};

std::vector<uint8_t> endRecord(const EndRecord& record);

}  // namespace extractor::pack
