#include "zip_builder.h"

#include <zlib.h>

#include <stdexcept>

namespace extractor::test {

uint32_t crcOf(const std::vector<uint8_t>& bytes) {
  return static_cast<uint32_t>(::crc32(0, bytes.data(), static_cast<uInt>(bytes.size())));
}

std::vector<uint8_t> deflateRaw(const std::vector<uint8_t>& content, int level) {
  z_stream z{};
  if (deflateInit2(&z, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
    throw std::runtime_error("deflateInit2");
  }
  std::vector<uint8_t> out(deflateBound(&z, static_cast<uLong>(content.size())) + 16);
  z.next_in = const_cast<Bytef*>(content.data());
  z.avail_in = static_cast<uInt>(content.size());
  z.next_out = out.data();
  z.avail_out = static_cast<uInt>(out.size());
  deflate(&z, Z_FINISH);
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

BuiltEntry storedEntry(const std::string& name, const std::vector<uint8_t>& content) {
  BuiltEntry e;
  e.name = name;
  e.method = 0;
  e.data = content;
  e.crc = crcOf(content);
  e.compressedSize = e.uncompressedSize = content.size();
  e.dosDate = (44 << 9) | (6 << 5) | 15;    // 2024-06-15
  e.dosTime = (13 << 11) | (45 << 5) | 10;  // 13:45:20
  return e;
}

BuiltEntry deflatedEntry(const std::string& name, const std::vector<uint8_t>& content, int level) {
  BuiltEntry e = storedEntry(name, content);
  e.method = 8;
  e.data = deflateRaw(content, level);
  e.compressedSize = e.data.size();
  return e;
}

std::vector<uint8_t> zip64Extra(std::initializer_list<uint64_t> values) {
  std::vector<uint8_t> field;
  put16(field, 0x0001);
  put16(field, static_cast<uint16_t>(8 * values.size()));
  for (uint64_t v : values) {
    put32(field, static_cast<uint32_t>(v));
    put32(field, static_cast<uint32_t>(v >> 32));
  }
  return field;
}

static void put64(std::vector<uint8_t>& out, uint64_t value) {
  put32(out, static_cast<uint32_t>(value));
  put32(out, static_cast<uint32_t>(value >> 32));
}

// The fields local and central headers have in common, in their order.
static void putSharedFields(std::vector<uint8_t>& out, const BuiltEntry& e, bool zip64) {
  put16(out, e.flags);
  put16(out, e.method);
  put16(out, e.dosTime);
  put16(out, e.dosDate);
  put32(out, e.crc);
  put32(out, zip64 ? 0xFFFFFFFF : static_cast<uint32_t>(e.compressedSize));
  put32(out, zip64 ? 0xFFFFFFFF : static_cast<uint32_t>(e.uncompressedSize));
  put16(out, static_cast<uint16_t>(e.name.size()));
}

static std::vector<uint8_t> joined(std::vector<uint8_t> a, const std::vector<uint8_t>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

std::vector<uint8_t> ZipBuilder::build() const {
  std::vector<uint8_t> out = prefix;
  // Offsets of what is written at out.size(), as the records give them.
  const uint64_t base = offsetsFromArchiveStart ? prefix.size() : 0;
  const uint64_t counted = offsetsFromArchiveStart ? 0 : virtualPrefix;
  auto offsetOf = [&](size_t at) { return counted + at - base; };
  std::vector<uint64_t> offsets;
  for (const BuiltEntry& e : entries) {
    offsets.push_back(e.localOffset ? *e.localOffset : offsetOf(out.size()));
    std::vector<uint8_t> extra = e.localExtra;
    if (zip64) extra = joined(zip64Extra({e.uncompressedSize, e.compressedSize}), extra);
    put32(out, 0x04034b50);
    put16(out, zip64 ? 45 : 20);
    putSharedFields(out, e, zip64);
    put16(out, static_cast<uint16_t>(extra.size()));
    out.insert(out.end(), e.name.begin(), e.name.end());
    out.insert(out.end(), extra.begin(), extra.end());
    out.insert(out.end(), e.data.begin(), e.data.end());
  }
  const size_t directoryStart = out.size();
  for (size_t i = 0; i < entries.size(); i++) {
    const BuiltEntry& e = entries[i];
    std::vector<uint8_t> extra = e.centralExtra;
    if (zip64) {
      extra = joined(zip64Extra({e.uncompressedSize, e.compressedSize, offsets[i]}), extra);
    }
    put32(out, 0x02014b50);
    put16(out, e.versionMadeBy);
    put16(out, zip64 ? 45 : 20);
    putSharedFields(out, e, zip64);
    put16(out, static_cast<uint16_t>(extra.size()));
    put16(out, static_cast<uint16_t>(e.comment.size()));
    put16(out, e.disk);
    put16(out, 0);
    put32(out, e.externalAttributes);
    put32(out, zip64 ? 0xFFFFFFFF : static_cast<uint32_t>(offsets[i]));
    out.insert(out.end(), e.name.begin(), e.name.end());
    out.insert(out.end(), extra.begin(), extra.end());
    out.insert(out.end(), e.comment.begin(), e.comment.end());
  }
  const uint64_t trueSize = out.size() - directoryStart;
  const uint64_t size = directorySize.value_or(static_cast<uint32_t>(trueSize));
  const uint64_t count = entryCount.value_or(static_cast<uint16_t>(entries.size()));
  const uint64_t offset = directoryOffset.value_or(offsetOf(directoryStart));
  if (zip64) {
    const uint64_t recordOffset = offsetOf(out.size());
    put32(out, 0x06064b50);
    put64(out, 44);
    put16(out, 45);
    put16(out, 45);
    put32(out, thisDisk);
    put32(out, directoryDisk);
    put64(out, entryCount.value_or(entries.size()));
    put64(out, entryCount.value_or(entries.size()));
    put64(out, directorySize.value_or(trueSize));
    put64(out, offset);
    put32(out, 0x07064b50);
    put32(out, directoryDisk);
    put64(out, recordOffset);
    put32(out, thisDisk + 1u);
  }
  put32(out, 0x06054b50);
  put16(out, thisDisk);
  put16(out, directoryDisk);
  put16(out, zip64 ? 0xFFFF : static_cast<uint16_t>(count));
  put16(out, zip64 ? 0xFFFF : static_cast<uint16_t>(count));
  put32(out, zip64 ? 0xFFFFFFFF : static_cast<uint32_t>(size));
  put32(out, zip64 ? 0xFFFFFFFF : static_cast<uint32_t>(offset));
  put16(out, static_cast<uint16_t>(comment.size()));
  out.insert(out.end(), comment.begin(), comment.end());
  out.insert(out.end(), afterEndRecord.begin(), afterEndRecord.end());
  return out;
}

}  // namespace extractor::test
