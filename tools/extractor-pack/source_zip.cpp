#include "source_zip.h"

#include <algorithm>
#include <system_error>

#include "engine/archive_end.h"
#include "engine/little_endian.h"
#include "engine/zip_format.h"

namespace fs = std::filesystem;

namespace extractor::pack {

Error SourceZip::readAt(uint64_t offset, uint8_t* buffer, size_t size) {
  if (offset > fileSize_ || size > fileSize_ - offset) {
    return path_.u8string() + " is damaged: a record lies beyond its end";
  }
  file_.clear();
  file_.seekg(static_cast<std::streamoff>(offset));
  file_.read(reinterpret_cast<char*>(buffer), static_cast<std::streamsize>(size));
  if (!file_) return "cannot read " + path_.u8string();
  return std::nullopt;
}

Error SourceZip::open(const fs::path& path) {
  path_ = path;
  std::error_code error;
  if (!fs::exists(path, error)) return "cannot find " + path.u8string();
  fileSize_ = fs::file_size(path, error);
  file_.open(path, std::ios::binary);
  if (error || !file_) return "cannot read " + path.u8string();
  std::string notZip = path.u8string() + " is not a ZIP archive";
  if (fileSize_ < kEndRecordSize) return notZip;

  // The archive's end is found as the extractor finds it.
  ZipStream tail;
  tail.SetOpenMode(ZipStream::kOpenExisting);
  tail.SetFileName(path.u16string(), ZipStream::NameForm::Volume);
  ArchiveEnd end;
  if (!FindArchiveEnd(tail, fileSize_, end)) return notZip;
  if (end.thisDisk != 0 || end.directoryDisk != 0) return severalVolumes();
  const uint64_t directorySize = end.directorySize;
  const int64_t shift = static_cast<int64_t>(end.prefixSize);

  std::vector<uint8_t> directory(static_cast<size_t>(directorySize));
  if (Error e = readAt(end.directoryStart, directory.data(), directory.size())) return e;
  for (size_t p = 0; p < directory.size();) {
    if (directory.size() - p < kCentralHeaderSize ||
        load32(&directory[p]) != kCentralHeaderSignature) {
      return path.u8string() + " is damaged: its directory ends early";
    }
    size_t length = kCentralHeaderSize + load16(&directory[p + 28]) + load16(&directory[p + 30]) +
                    load16(&directory[p + 32]);
    if (length > directory.size() - p)
      return path.u8string() + " is damaged: its directory ends early";
    if (Error e = readEntry(&directory[p], length, shift)) return e;
    p += length;
  }
  if (entries_.size() != end.entryCount)
    return path.u8string() + " is damaged: its entry count is wrong";
  return std::nullopt;
}

std::string SourceZip::severalVolumes() const {
  return path_.u8string() + " spans several volumes: join them into one archive first";
}

// Takes the values a central header marks as kept in its ZIP64 field, in
// the field's order: uncompressed size, compressed size, local header offset.
Error SourceZip::readZip64Values(const uint8_t* central, const std::string& name,
                                 uint64_t& uncompressed, uint64_t& compressed,
                                 uint64_t& offset) const {
  uint16_t nameLength = load16(central + 28);
  const uint8_t* extra = central + kCentralHeaderSize + nameLength;
  const uint8_t* field = nullptr;
  uint16_t length = 0;
  bool present = findZip64Field(extra, load16(central + 30), field, length);
  uint16_t used = 0;
  for (uint64_t* value : {&uncompressed, &compressed, &offset}) {
    if (*value != kZip64Marker) continue;
    if (!present || length - used < 8) {
      return path_.u8string() + " is damaged: the ZIP64 field of " + name + " is missing or short";
    }
    *value = load64(field + used);
    used = static_cast<uint16_t>(used + 8);
  }
  return std::nullopt;
}

Error SourceZip::readEntry(const uint8_t* central, size_t size, int64_t shift) {
  SourceEntry entry;
  uint16_t flags = load16(central + 8);
  uint16_t nameLength = load16(central + 28);
  uint16_t extraLength = load16(central + 30);
  const uint8_t* extra = central + kCentralHeaderSize + nameLength;
  entry.name.assign(reinterpret_cast<const char*>(central + kCentralHeaderSize), nameLength);
  uint64_t compressed = load32(central + 20);
  uint64_t uncompressed = load32(central + 24);
  uint64_t offset = load32(central + 42);
  if (Error e = readZip64Values(central, entry.name, uncompressed, compressed, offset)) return e;
  entry.central.fixed.assign(central, central + kCentralHeaderSize);
  entry.central.name = entry.name;
  entry.central.extra = withoutZip64(extra, extraLength);
  entry.central.comment.assign(extra + extraLength, central + size);
  entry.central.compressedSize = compressed;
  entry.central.uncompressedSize = uncompressed;

  entry.localOffset = static_cast<uint64_t>(static_cast<int64_t>(offset) + shift);
  uint8_t local[30];
  if (Error e = readAt(entry.localOffset, local, sizeof local)) return e;
  if (load32(local) != kLocalHeaderSignature) {
    return path_.u8string() + " is damaged: no local header for " + entry.name;
  }
  uint32_t localHead = 30u + load16(local + 26) + load16(local + 28);
  entry.localSize = localHead;
  entry.headSize = localHead + ((flags & 1) ? 12 : 0);
  if (compressed > fileSize_) {
    return path_.u8string() + " is damaged: the data of " + entry.name + " run past its end";
  }
  uint64_t copy = uint64_t{localHead} + compressed;
  if (flags & kDataDescriptorFlag) {
    // Behind an entry whose local header has a ZIP64 field, the
    // descriptor's sizes take 8 bytes each.
    std::vector<uint8_t> localExtra(load16(local + 28));
    if (Error e = readAt(entry.localOffset + 30 + load16(local + 26), localExtra.data(),
                         localExtra.size())) {
      return e;
    }
    const uint8_t* field = nullptr;
    uint16_t length = 0;
    bool wide = findZip64Field(localExtra.data(), localExtra.size(), field, length);
    uint8_t descriptor[4] = {};
    if (Error e = readAt(entry.localOffset + copy, descriptor, 4)) return e;
    copy += (load32(descriptor) == kDataDescriptorSignature ? 4 : 0) + (wide ? 20 : 12);
  }
  if (entry.localOffset + copy > fileSize_) {
    return path_.u8string() + " is damaged: the data of " + entry.name + " run past its end";
  }
  entry.copySize = copy;
  if (extraLength >= 18 && load16(extra) >= 2 && load16(extra) <= 4) entry.blockSize = 16;
  entries_.push_back(std::move(entry));
  return std::nullopt;
}

uint64_t SourceZip::dataBytes() const {
  uint64_t total = 0;
  for (const SourceEntry& e : entries_) total += e.copySize;
  return total;
}

Error SourceZip::copy(const SourceEntry& entry, uint64_t from, uint64_t size,
                      const ByteSink& sink) {
  std::vector<uint8_t> buffer(static_cast<size_t>(std::min<uint64_t>(size, 1 << 20)));
  uint64_t done = 0;
  while (done < size) {
    size_t piece = static_cast<size_t>(std::min<uint64_t>(buffer.size(), size - done));
    if (Error e = readAt(entry.localOffset + from + done, buffer.data(), piece)) return e;
    if (Error e = sink(buffer.data(), piece)) return e;
    done += piece;
  }
  return std::nullopt;
}

}  // namespace extractor::pack
