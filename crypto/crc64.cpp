#include "crypto/crc64.h"

namespace extractor {

namespace {

constexpr uint64_t kPolynomial = 0xC96C5795D7870F42ull;

// Eight tables: table[k][b] is the CRC of byte b followed by k zero bytes,
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

}  // namespace

uint64_t crc64Update(uint64_t crc, const uint8_t* data, size_t length) {
  static const Tables tables;
  const auto& t = tables.table;
  uint64_t c = ~crc;
  for (; length >= 8; length -= 8, data += 8) {
    c ^= load64(data);
    c = t[7][c & 0xFF] ^ t[6][(c >> 8) & 0xFF] ^ t[5][(c >> 16) & 0xFF] ^ t[4][(c >> 24) & 0xFF] ^
        t[3][(c >> 32) & 0xFF] ^ t[2][(c >> 40) & 0xFF] ^ t[1][(c >> 48) & 0xFF] ^ t[0][c >> 56];
  }
  for (; length > 0; --length) c = (c >> 8) ^ t[0][(c ^ *data++) & 0xFF];
  return ~c;
}

}  // namespace extractor
