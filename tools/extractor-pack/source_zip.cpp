#include "source_zip.h"

#include <algorithm>
#include <system_error>

#include "engine/little_endian.h"

namespace fs = std::filesystem;

namespace extractor::pack {
namespace {

constexpr uint32_t kEndSignature = 0x06054b50;
constexpr uint32_t kZip64LocatorSignature = 0x07064b50;
constexpr uint32_t kCentralSignature = 0x02014b50;
constexpr uint32_t kLocalSignature = 0x04034b50;
constexpr uint32_t kDescriptorSignature = 0x08074b50;
constexpr size_t kEndSize = 22;
constexpr size_t kTail = 65535 + kEndSize;
constexpr uint16_t kDescriptorFlag = 1 << 3;

}  // namespace

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
  if (fileSize_ < kEndSize) return notZip;

  size_t window = static_cast<size_t>(std::min<uint64_t>(fileSize_, kTail));
  std::vector<uint8_t> tail(window);
  if (Error e = readAt(fileSize_ - window, tail.data(), window)) return e;
  // The record whose comment reaches exactly to the end, else the last one.
  long found = -1;
  for (long p = static_cast<long>(window - kEndSize); p >= 0; p--) {
    if (load32(&tail[p]) != kEndSignature) continue;
    if (found < 0) found = p;
    if (p + kEndSize + load16(&tail[p + 20]) == window) {
      found = p;
      break;
    }
  }
  if (found < 0) return notZip;
  const uint8_t* end = &tail[found];
  std::string zip64 = path.u8string() +
                      " is a ZIP64 archive, which the extractor does not read: "
                      "it cannot become a self-extracting file";
  if (found >= 20 && load32(end - 20) == kZip64LocatorSignature) return zip64;
  uint16_t count = load16(end + 10);
  uint32_t directorySize = load32(end + 12);
  uint32_t directoryOffset = load32(end + 16);
  if (count == 0xFFFF || directorySize == 0xFFFFFFFF || directoryOffset == 0xFFFFFFFF) return zip64;
  if (load16(end + 4) != 0 || load16(end + 6) != 0) {
    return path.u8string() + " spans several volumes: join them into one archive first";
  }
  // Bytes in front of the archive (an earlier program stub) move every offset.
  uint64_t endPosition = fileSize_ - window + static_cast<uint64_t>(found);
  if (uint64_t{directoryOffset} + directorySize > endPosition) return notZip;
  int64_t shift = static_cast<int64_t>(endPosition - directorySize - directoryOffset);

  std::vector<uint8_t> directory(directorySize);
  if (Error e = readAt(endPosition - directorySize, directory.data(), directorySize)) return e;
  for (size_t p = 0; p < directory.size();) {
    if (directory.size() - p < 46 || load32(&directory[p]) != kCentralSignature) {
      return path.u8string() + " is damaged: its directory ends early";
    }
    size_t length =
        46u + load16(&directory[p + 28]) + load16(&directory[p + 30]) + load16(&directory[p + 32]);
    if (length > directory.size() - p)
      return path.u8string() + " is damaged: its directory ends early";
    if (Error e = readEntry(&directory[p], length, shift)) return e;
    p += length;
  }
  if (entries_.size() != count) return path.u8string() + " is damaged: its entry count is wrong";
  return std::nullopt;
}

Error SourceZip::readEntry(const uint8_t* central, size_t size, int64_t shift) {
  SourceEntry entry;
  entry.central.assign(central, central + size);
  uint16_t flags = load16(central + 8);
  uint32_t compressed = load32(central + 20);
  uint16_t nameLength = load16(central + 28);
  uint16_t extraLength = load16(central + 30);
  entry.name.assign(reinterpret_cast<const char*>(central + 46), nameLength);
  if (compressed == 0xFFFFFFFF || load32(central + 24) == 0xFFFFFFFF ||
      load32(central + 42) == 0xFFFFFFFF) {
    return path_.u8string() + " is a ZIP64 archive (" + entry.name +
           "), which the extractor does not read: it cannot become a self-extracting file";
  }
  entry.localOffset = static_cast<uint64_t>(int64_t{load32(central + 42)} + shift);
  uint8_t local[30];
  if (Error e = readAt(entry.localOffset, local, sizeof local)) return e;
  if (load32(local) != kLocalSignature) {
    return path_.u8string() + " is damaged: no local header for " + entry.name;
  }
  uint32_t localHead = 30u + load16(local + 26) + load16(local + 28);
  entry.localSize = localHead;
  entry.headSize = localHead + ((flags & 1) ? 12 : 0);
  uint64_t copy = uint64_t{localHead} + compressed;
  if (flags & kDescriptorFlag) {
    uint8_t descriptor[4] = {};
    if (Error e = readAt(entry.localOffset + copy, descriptor, 4)) return e;
    copy += load32(descriptor) == kDescriptorSignature ? 16 : 12;
  }
  if (entry.localOffset + copy > fileSize_) {
    return path_.u8string() + " is damaged: the data of " + entry.name + " run past its end";
  }
  entry.copySize = copy;
  const uint8_t* extra = central + 46 + nameLength;
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
