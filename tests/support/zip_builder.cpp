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
  e.compressedSize = e.uncompressedSize = static_cast<uint32_t>(content.size());
  e.dosDate = (44 << 9) | (6 << 5) | 15;    // 2024-06-15
  e.dosTime = (13 << 11) | (45 << 5) | 10;  // 13:45:20
  return e;
}

BuiltEntry deflatedEntry(const std::string& name, const std::vector<uint8_t>& content, int level) {
  BuiltEntry e = storedEntry(name, content);
  e.method = 8;
  e.data = deflateRaw(content, level);
  e.compressedSize = static_cast<uint32_t>(e.data.size());
  return e;
}

// The fields local and central headers have in common, in their order.
static void putSharedFields(std::vector<uint8_t>& out, const BuiltEntry& e) {
  put16(out, e.flags);
  put16(out, e.method);
  put16(out, e.dosTime);
  put16(out, e.dosDate);
  put32(out, e.crc);
  put32(out, e.compressedSize);
  put32(out, e.uncompressedSize);
  put16(out, static_cast<uint16_t>(e.name.size()));
}

std::vector<uint8_t> ZipBuilder::build() const {
  std::vector<uint8_t> out = prefix;
  uint32_t base = offsetsFromArchiveStart ? static_cast<uint32_t>(prefix.size()) : 0;
  std::vector<uint32_t> offsets;
  for (const BuiltEntry& e : entries) {
    offsets.push_back(e.localOffset.value_or(static_cast<uint32_t>(out.size()) - base));
    put32(out, 0x04034b50);
    put16(out, 20);
    putSharedFields(out, e);
    put16(out, static_cast<uint16_t>(e.localExtra.size()));
    out.insert(out.end(), e.name.begin(), e.name.end());
    out.insert(out.end(), e.localExtra.begin(), e.localExtra.end());
    out.insert(out.end(), e.data.begin(), e.data.end());
  }
  uint32_t directoryStart = static_cast<uint32_t>(out.size());
  for (size_t i = 0; i < entries.size(); i++) {
    const BuiltEntry& e = entries[i];
    put32(out, 0x02014b50);
    put16(out, e.versionMadeBy);
    put16(out, 20);
    putSharedFields(out, e);
    put16(out, static_cast<uint16_t>(e.centralExtra.size()));
    put16(out, static_cast<uint16_t>(e.comment.size()));
    put16(out, e.disk);
    put16(out, 0);
    put32(out, 0);
    put32(out, offsets[i]);
    out.insert(out.end(), e.name.begin(), e.name.end());
    out.insert(out.end(), e.centralExtra.begin(), e.centralExtra.end());
    out.insert(out.end(), e.comment.begin(), e.comment.end());
  }
  uint32_t directorySize = static_cast<uint32_t>(out.size()) - directoryStart;
  put32(out, 0x06054b50);
  put16(out, thisDisk);
  put16(out, directoryDisk);
  put16(out, static_cast<uint16_t>(entries.size()));
  put16(out, static_cast<uint16_t>(entries.size()));
  put32(out, directorySize);
  put32(out, directoryOffset.value_or(directoryStart - base));
  put16(out, static_cast<uint16_t>(comment.size()));
  out.insert(out.end(), comment.begin(), comment.end());
  out.insert(out.end(), afterEndRecord.begin(), afterEndRecord.end());
  return out;
}

}  // namespace extractor::test
