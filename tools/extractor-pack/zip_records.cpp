#include "zip_records.h"

#include <algorithm>

#include "crypto/winzip_aes.h"
#include "engine/zip_format.h"
#include "pack_methods.h"

namespace extractor::pack {
namespace {

// An entry or archive with ZIP64 records needs version 4.5 of the format.
constexpr uint16_t kZip64Version = 45;
// "Made by" Windows NTFS, whose external attributes are the DOS ones. Info-ZIP
// unzip reads the names of entries made on FAT (host 0) in the OEM code page
// even when they are flagged as UTF-8; NTFS names it takes as flagged.
constexpr uint16_t kMadeByNtfs = 10 << 8;

uint32_t field32(uint64_t value) {
  return exceeds32(value) ? kZip64Marker : static_cast<uint32_t>(value);
}

// A field list's header: id and length.
void putFieldHeader(std::vector<uint8_t>& out, uint16_t id, size_t length) {
  put16(out, id);
  put16(out, static_cast<uint16_t>(length));
}

// The version byte of a "made by" or "needed" field raised to 4.5; the
// high byte (the system of a "made by") stays.
void raiseVersion(uint8_t* field) {
  field[0] = static_cast<uint8_t>(std::max<int>(field[0], kZip64Version));
}

// Calls use(id, data, length) for each field; false when the bytes are no
// list of whole fields.
template <typename Use>
bool forEachField(const uint8_t* extra, size_t size, Use use) {
  size_t p = 0;
  while (p + 4 <= size) {
    uint16_t length = load16(extra + p + 2);
    if (length > size - p - 4) return false;
    use(load16(extra + p), extra + p, size_t{4} + length);
    p += size_t{4} + length;
  }
  return p == size;
}

}  // namespace

uint16_t neededVersion(uint16_t packed, uint16_t stored) {
  uint16_t version = 20;
  for (const PackMethod& row : kPackMethods) {
    if (row.number == packed) version = row.version;
  }
  return stored == kWinZipAesMethod ? std::max<uint16_t>(version, 51) : version;
}

std::vector<uint8_t> localHeader(const EntryFields& fields) {
  // The local ZIP64 field holds both sizes or is absent.
  bool zip64 = exceeds32(fields.uncompressedSize) || exceeds32(fields.compressedSize);
  std::vector<uint8_t> out;
  out.reserve(kLocalHeaderSize + fields.name.size() + 20 + fields.localExtra.size());
  put32(out, kLocalHeaderSignature);
  put16(out, zip64 ? std::max(kZip64Version, fields.version) : fields.version);
  put16(out, fields.flags);
  put16(out, fields.method);
  put16(out, fields.dosTime);
  put16(out, fields.dosDate);
  put32(out, fields.crc);
  put32(out, zip64 ? kZip64Marker : static_cast<uint32_t>(fields.compressedSize));
  put32(out, zip64 ? kZip64Marker : static_cast<uint32_t>(fields.uncompressedSize));
  put16(out, static_cast<uint16_t>(fields.name.size()));
  put16(out, static_cast<uint16_t>((zip64 ? 20 : 0) + fields.localExtra.size()));
  out.insert(out.end(), fields.name.begin(), fields.name.end());
  if (zip64) {
    putFieldHeader(out, kZip64ExtraId, 16);
    put64(out, fields.uncompressedSize);
    put64(out, fields.compressedSize);
  }
  out.insert(out.end(), fields.localExtra.begin(), fields.localExtra.end());
  return out;
}

CentralEntry centralEntry(const EntryFields& fields) {
  CentralEntry entry;
  std::vector<uint8_t>& out = entry.fixed;
  put32(out, kCentralHeaderSignature);
  put16(out, kMadeByNtfs | fields.version);
  put16(out, fields.version);
  put16(out, fields.flags);
  put16(out, fields.method);
  put16(out, fields.dosTime);
  put16(out, fields.dosDate);
  put32(out, fields.crc);
  put32(out, 0);  // sizes
  put32(out, 0);
  put16(out, 0);  // lengths of name, extra field and comment
  put16(out, 0);
  put16(out, 0);
  put16(out, 0);  // disk
  put16(out, 0);  // internal attributes
  put32(out, fields.externalAttributes);
  put32(out, 0);  // local header offset
  entry.name = fields.name;
  entry.extra = fields.centralExtra;
  entry.compressedSize = fields.compressedSize;
  entry.uncompressedSize = fields.uncompressedSize;
  return entry;
}

bool centralNeedsZip64(const CentralEntry& entry, uint64_t offset) {
  return exceeds32(entry.uncompressedSize) || exceeds32(entry.compressedSize) || exceeds32(offset);
}

size_t centralHeaderSize(const CentralEntry& entry, uint64_t offset) {
  size_t wide = (exceeds32(entry.uncompressedSize) ? 8 : 0) +
                (exceeds32(entry.compressedSize) ? 8 : 0) + (exceeds32(offset) ? 8 : 0);
  return kCentralHeaderSize + entry.name.size() + entry.extra.size() + entry.comment.size() +
         (wide ? 4 + wide : 0);
}

std::vector<uint8_t> centralHeader(const CentralEntry& entry, uint16_t disk, uint64_t offset) {
  // Only the values that do not fit go into the ZIP64 field, in this order.
  std::vector<uint8_t> zip64;
  if (exceeds32(entry.uncompressedSize)) put64(zip64, entry.uncompressedSize);
  if (exceeds32(entry.compressedSize)) put64(zip64, entry.compressedSize);
  if (exceeds32(offset)) put64(zip64, offset);
  size_t extraSize = entry.extra.size() + (zip64.empty() ? 0 : 4 + zip64.size());

  std::vector<uint8_t> out(entry.fixed);
  out.reserve(kCentralHeaderSize + entry.name.size() + extraSize + entry.comment.size());
  uint8_t* h = out.data();
  if (!zip64.empty()) {
    raiseVersion(h + 4);
    raiseVersion(h + 6);
  }
  store32(h + 20, field32(entry.compressedSize));
  store32(h + 24, field32(entry.uncompressedSize));
  store16(h + 28, static_cast<uint16_t>(entry.name.size()));
  store16(h + 30, static_cast<uint16_t>(extraSize));
  store16(h + 32, static_cast<uint16_t>(entry.comment.size()));
  store16(h + 34, disk);
  store32(h + 42, field32(offset));
  out.insert(out.end(), entry.name.begin(), entry.name.end());
  // First, so that readers which stop at a malformed field further on still
  // find it.
  if (!zip64.empty()) {
    putFieldHeader(out, kZip64ExtraId, zip64.size());
    out.insert(out.end(), zip64.begin(), zip64.end());
  }
  out.insert(out.end(), entry.extra.begin(), entry.extra.end());
  out.insert(out.end(), entry.comment.begin(), entry.comment.end());
  return out;
}

std::vector<uint8_t> withoutZip64(const uint8_t* extra, size_t size) {
  std::vector<uint8_t> kept;
  bool list = forEachField(extra, size, [&](uint16_t id, const uint8_t* field, size_t length) {
    if (id != kZip64ExtraId) kept.insert(kept.end(), field, field + length);
  });
  if (!list) return std::vector<uint8_t>(extra, extra + size);
  return kept;
}

bool findZip64Field(const uint8_t* extra, size_t size, const uint8_t*& data, uint16_t& length) {
  bool found = false;
  forEachField(extra, size, [&](uint16_t id, const uint8_t* field, size_t fieldLength) {
    if (id != kZip64ExtraId || found) return;
    found = true;
    data = field + 4;
    length = static_cast<uint16_t>(fieldLength - 4);
  });
  return found;
}

bool endNeedsZip64(const EndRecord& record) {
  return record.entries >= kZip64CountMarker || exceeds32(record.directorySize) ||
         exceeds32(record.directoryOffset);
}

uint32_t endRecordsSize(const EndRecord& record) {
  return kEndRecordSize + (endNeedsZip64(record) ? kZip64EndSize + kZip64LocatorSize : 0);
}

std::vector<uint8_t> endRecords(const EndRecord& record) {
  std::vector<uint8_t> out;
  bool zip64 = endNeedsZip64(record);
  if (zip64) {
    uint64_t zip64End = record.directoryOffset + record.directorySize;
    put32(out, kZip64EndSignature);
    put64(out, kZip64EndSize - 12);  // what follows this field
    put16(out, kZip64Version);
    put16(out, kZip64Version);
    put32(out, record.thisDisk);
    put32(out, record.directoryDisk);
    put64(out, record.entries);
    put64(out, record.entries);
    put64(out, record.directorySize);
    put64(out, record.directoryOffset);
    put32(out, kZip64LocatorSignature);
    put32(out, record.directoryDisk);
    put64(out, zip64End);
    put32(out, uint32_t{record.thisDisk} + 1);  // disks in all
  }
  // Each classic field that cannot hold its value is marked; the others
  // keep theirs.
  uint16_t entries = record.entries >= kZip64CountMarker ? kZip64CountMarker
                                                         : static_cast<uint16_t>(record.entries);
  put32(out, kEndRecordSignature);
  put16(out, record.thisDisk);
  put16(out, record.directoryDisk);
  put16(out, entries);
  put16(out, entries);
  put32(out, field32(record.directorySize));
  put32(out, field32(record.directoryOffset));
  put16(out, 0);
  return out;
}

}  // namespace extractor::pack
