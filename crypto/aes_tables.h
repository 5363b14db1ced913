#pragma once

// The cipher's lookup tables, derived at compile time from the field
// arithmetic of FIPS-197 so that no table is typed in by hand. A column is a
// 32-bit word with row 0 in the most significant byte.

#include <cstdint>

namespace extractor {

struct AesTables {
  uint8_t sBox[256];
  uint8_t invSBox[256];
  // encrypt[j][x]: S-box output of x times the MixColumns column for row j.
  uint32_t encrypt[4][256];
  // decrypt[j][x]: inverse S-box output of x times the InvMixColumns column.
  uint32_t decrypt[4][256];
  // The last decryption round: the inverse S-box output in all four bytes.
  uint32_t decryptLast[256];
};

constexpr uint8_t gfTimes2(uint8_t a) {
  return static_cast<uint8_t>((a << 1) ^ ((a & 0x80) ? 0x1B : 0));
}

constexpr uint8_t gfMultiply(uint8_t a, uint8_t b) {
  uint8_t product = 0;
  for (; b != 0; b >>= 1, a = gfTimes2(a)) {
    if (b & 1) product ^= a;
  }
  return product;
}

constexpr uint32_t rotateRight(uint32_t w, int bits) {
  return bits == 0 ? w : (w >> bits) | (w << (32 - bits));
}

constexpr uint32_t columnWord(uint8_t r0, uint8_t r1, uint8_t r2, uint8_t r3) {
  return uint32_t{r0} << 24 | uint32_t{r1} << 16 | uint32_t{r2} << 8 | r3;
}

constexpr AesTables makeAesTables() {
  AesTables t{};
  // Powers of the generator 3 give every nonzero element, and with them the
  // multiplicative inverses the S-box starts from.
  uint8_t power[255] = {};
  uint8_t logarithm[256] = {};
  uint8_t x = 1;
  for (int i = 0; i < 255; i++) {
    power[i] = x;
    logarithm[x] = static_cast<uint8_t>(i);
    x = gfMultiply(x, 3);
  }
  for (int i = 0; i < 256; i++) {
    uint8_t inverse = i == 0 ? 0 : power[(255 - logarithm[i]) % 255];
    uint8_t s = inverse;
    for (int shift = 1; shift <= 4; shift++) {
      s ^= static_cast<uint8_t>((inverse << shift) | (inverse >> (8 - shift)));
    }
    s ^= 0x63;
    t.sBox[i] = s;
    t.invSBox[s] = static_cast<uint8_t>(i);
  }
  for (int i = 0; i < 256; i++) {
    uint8_t s = t.sBox[i];
    uint32_t e = columnWord(gfMultiply(s, 2), s, s, gfMultiply(s, 3));
    uint8_t v = t.invSBox[i];
    uint32_t d =
        columnWord(gfMultiply(v, 14), gfMultiply(v, 9), gfMultiply(v, 13), gfMultiply(v, 11));
    for (int j = 0; j < 4; j++) {
      t.encrypt[j][i] = rotateRight(e, 8 * j);
      t.decrypt[j][i] = rotateRight(d, 8 * j);
    }
    t.decryptLast[i] = v * 0x01010101u;
  }
  return t;
}

inline constexpr AesTables aesTables = makeAesTables();

}  // namespace extractor
