#include "zip_records.h"

namespace extractor::pack {
namespace {

constexpr uint32_t kLocalSignature = 0x04034b50;
constexpr uint32_t kCentralSignature = 0x02014b50;
constexpr uint32_t kEndSignature = 0x06054b50;
// Made by and needed: version 2.0 of the format, FAT attributes, unless
// the method came later: bzip2 with 4.6, LZMA with 6.3.
constexpr uint16_t kVersion = 20;

uint16_t versionNeeded(uint16_t method) {
  return method == 12 ? 46 : method == 14 ? 63 : kVersion;
}

void putShared(std::vector<uint8_t>& out, const EntryFields& fields) {
  put16(out, fields.flags);
  put16(out, fields.method);
  put16(out, fields.dosTime);
  put16(out, fields.dosDate);
  put32(out, fields.crc);
  put32(out, fields.compressedSize);
  put32(out, fields.uncompressedSize);
  put16(out, static_cast<uint16_t>(fields.name.size()));
}

}  // namespace

std::vector<uint8_t> localHeader(const EntryFields& fields) {
  std::vector<uint8_t> out;
  out.reserve(kLocalHeaderSize + fields.name.size());
  put32(out, kLocalSignature);
  put16(out, versionNeeded(fields.method));
  putShared(out, fields);
  put16(out, 0);
  out.insert(out.end(), fields.name.begin(), fields.name.end());
  return out;
}

std::vector<uint8_t> centralHeader(const EntryFields& fields) {
  std::vector<uint8_t> out;
  out.reserve(kCentralHeaderSize + fields.name.size() + fields.centralExtra.size());
  put32(out, kCentralSignature);
  put16(out, versionNeeded(fields.method));
  put16(out, versionNeeded(fields.method));
  putShared(out, fields);
  put16(out, static_cast<uint16_t>(fields.centralExtra.size()));
  put16(out, 0);  // comment
  put16(out, 0);  // disk
  put16(out, 0);  // internal attributes
  put32(out, fields.externalAttributes);
  put32(out, 0);  // local header offset
  out.insert(out.end(), fields.name.begin(), fields.name.end());
  out.insert(out.end(), fields.centralExtra.begin(), fields.centralExtra.end());
  return out;
}

void setCentralLocation(std::vector<uint8_t>& header, uint16_t disk, uint32_t offset) {
  store16(header.data() + 34, disk);
  store32(header.data() + 42, offset);
}

std::vector<uint8_t> endRecord(const EndRecord& record) {
  std::vector<uint8_t> out;
  put32(out, kEndSignature);
  put16(out, record.thisDisk);
  put16(out, record.directoryDisk);
  put16(out, record.entries);
  put16(out, record.entries);
  put32(out, record.directorySize);
  put32(out, record.directoryOffset);
  put16(out, 0);
  return out;
}

}  // namespace extractor::pack
