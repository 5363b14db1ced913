#include "crypto/crc64.h"

#include "crypto/crc64_paths.h"

namespace extractor {

namespace {

constexpr uint64_t kPolynomial = 0xC96C5795D7870F42ull;

// Eight tables: table[k][b] is the register after byte b and k zero bytes,
// so eight bytes at a time take eight lookups. Built at first use rather
// than stored, which keeps 16 KiB out of the program file.
struct Tables {
  uint64_t table[8][256];
  Tables() {
    for (unsigned b = 0; b < 256; ++b) {
      uint64_t c = b;
      for (int bit = 0; bit < 8; ++bit) c = c & 1 ? (c >> 1) ^ kPolynomial : c >> 1;
      table[0][b] = c;
    }
    for (unsigned k = 1; k < 8; ++k) {
      for (unsigned b = 0; b < 256; ++b) {
        const uint64_t c = table[k - 1][b];
        table[k][b] = (c >> 8) ^ table[0][c & 0xFF];
      }
    }
  }
};

uint64_t load64(const uint8_t* p) {
  uint64_t v = 0;
  for (int i = 7; i >= 0; --i) v = v << 8 | p[i];
  return v;
}

using CrcPath = uint64_t (*)(uint64_t, const uint8_t*, size_t);

}  // namespace

uint64_t crc64Slice8(uint64_t reg, const uint8_t* data, size_t length) {
  static const Tables tables;
  const auto& t = tables.table;
  for (; length >= 8; length -= 8, data += 8) {
    reg ^= load64(data);
    reg = t[7][reg & 0xFF] ^ t[6][(reg >> 8) & 0xFF] ^ t[5][(reg >> 16) & 0xFF] ^
          t[4][(reg >> 24) & 0xFF] ^ t[3][(reg >> 32) & 0xFF] ^ t[2][(reg >> 40) & 0xFF] ^
          t[1][(reg >> 48) & 0xFF] ^ t[0][reg >> 56];
  }
  for (; length > 0; --length) reg = (reg >> 8) ^ t[0][(reg ^ *data++) & 0xFF];
  return reg;
}

uint64_t crc64Update(uint64_t crc, const uint8_t* data, size_t length) {
  if (length == 0) return crc;
  static const CrcPath path = crc64ClmulAvailable() ? crc64Clmul : crc64Slice8;
  return ~path(~crc, data, length);
}

}  // namespace extractor
