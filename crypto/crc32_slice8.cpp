#include "crypto/crc32_paths.h"
#include "crypto/crc32_slice_tables.h"

namespace extractor {

// Defined here rather than inline in the header: an inline function's
// static goes to a section of its own that the linker keeps in the file.
const CrcSliceTables& crcSliceTables() {
  static const CrcSliceTables tables = makeCrcSliceTables();
  return tables;
}

static uint32_t loadLe32(const uint8_t* p) {
  return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

uint32_t crc32Slice8(uint32_t reg, const uint8_t* data, size_t length) {
  const auto& t = crcSliceTables().t;
  for (; length >= 8; data += 8, length -= 8) {
    uint32_t lo = reg ^ loadLe32(data);
    uint32_t hi = loadLe32(data + 4);
    reg = t[7][lo & 0xFF] ^ t[6][(lo >> 8) & 0xFF] ^ t[5][(lo >> 16) & 0xFF] ^ t[4][lo >> 24] ^
          t[3][hi & 0xFF] ^ t[2][(hi >> 8) & 0xFF] ^ t[1][(hi >> 16) & 0xFF] ^ t[0][hi >> 24];
  }
  for (; length > 0; data++, length--) reg = (reg >> 8) ^ t[0][(reg ^ *data) & 0xFF];
  return reg;
}

}  // namespace extractor
