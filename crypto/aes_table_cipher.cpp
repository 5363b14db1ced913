// The cipher by table lookups: one round of a column is four lookups that
// combine the S-box step with the column mixing, and the row shift is folded
// into which column each lookup reads.

#include "crypto/aes_paths.h"
#include "crypto/aes_tables.h"

namespace extractor {

static uint32_t loadColumn(const uint8_t* p) {
  return columnWord(p[0], p[1], p[2], p[3]);
}

static void storeColumn(uint32_t w, uint8_t* p) {
  p[0] = static_cast<uint8_t>(w >> 24);
  p[1] = static_cast<uint8_t>(w >> 16);
  p[2] = static_cast<uint8_t>(w >> 8);
  p[3] = static_cast<uint8_t>(w);
}

// One column of an inner decryption round: the row shift to the right means
// row j of output column c comes from input column c - j.
static inline uint32_t invRoundColumn(uint32_t c0, uint32_t c3, uint32_t c2, uint32_t c1,
                                      uint32_t rk) {
  const auto& d = aesTables.decrypt;
  return d[0][c0 >> 24] ^ d[1][(c3 >> 16) & 0xFF] ^ d[2][(c2 >> 8) & 0xFF] ^ d[3][c1 & 0xFF] ^ rk;
}

static inline uint32_t invLastColumn(uint32_t c0, uint32_t c3, uint32_t c2, uint32_t c1,
                                     uint32_t rk) {
  const uint32_t* last = aesTables.decryptLast;
  return ((last[c0 >> 24] & 0xFF000000u) | (last[(c3 >> 16) & 0xFF] & 0x00FF0000u) |
          (last[(c2 >> 8) & 0xFF] & 0x0000FF00u) | (last[c1 & 0xFF] & 0x000000FFu)) ^
         rk;
}

static void decryptBlock(const uint32_t* rk, int rounds, const uint8_t* in, uint8_t* out) {
  uint32_t s0 = loadColumn(in) ^ rk[0];
  uint32_t s1 = loadColumn(in + 4) ^ rk[1];
  uint32_t s2 = loadColumn(in + 8) ^ rk[2];
  uint32_t s3 = loadColumn(in + 12) ^ rk[3];
  for (int r = 1; r < rounds; r++) {
    rk += 4;
    uint32_t t0 = invRoundColumn(s0, s3, s2, s1, rk[0]);
    uint32_t t1 = invRoundColumn(s1, s0, s3, s2, rk[1]);
    uint32_t t2 = invRoundColumn(s2, s1, s0, s3, rk[2]);
    uint32_t t3 = invRoundColumn(s3, s2, s1, s0, rk[3]);
    s0 = t0, s1 = t1, s2 = t2, s3 = t3;
  }
  rk += 4;
  storeColumn(invLastColumn(s0, s3, s2, s1, rk[0]), out);
  storeColumn(invLastColumn(s1, s0, s3, s2, rk[1]), out + 4);
  storeColumn(invLastColumn(s2, s1, s0, s3, rk[2]), out + 8);
  storeColumn(invLastColumn(s3, s2, s1, s0, rk[3]), out + 12);
}

// The forward row shift: row j of output column c comes from column c + j.
static inline uint32_t roundColumn(uint32_t c0, uint32_t c1, uint32_t c2, uint32_t c3,
                                   uint32_t rk) {
  const auto& e = aesTables.encrypt;
  return e[0][c0 >> 24] ^ e[1][(c1 >> 16) & 0xFF] ^ e[2][(c2 >> 8) & 0xFF] ^ e[3][c3 & 0xFF] ^ rk;
}

static inline uint32_t lastColumn(uint32_t c0, uint32_t c1, uint32_t c2, uint32_t c3, uint32_t rk) {
  const uint8_t* sb = aesTables.sBox;
  return columnWord(sb[c0 >> 24], sb[(c1 >> 16) & 0xFF], sb[(c2 >> 8) & 0xFF], sb[c3 & 0xFF]) ^ rk;
}

static void encryptBlock(const uint32_t* rk, int rounds, const uint8_t* in, uint8_t* out) {
  uint32_t s0 = loadColumn(in) ^ rk[0];
  uint32_t s1 = loadColumn(in + 4) ^ rk[1];
  uint32_t s2 = loadColumn(in + 8) ^ rk[2];
  uint32_t s3 = loadColumn(in + 12) ^ rk[3];
  for (int r = 1; r < rounds; r++) {
    rk += 4;
    uint32_t t0 = roundColumn(s0, s1, s2, s3, rk[0]);
    uint32_t t1 = roundColumn(s1, s2, s3, s0, rk[1]);
    uint32_t t2 = roundColumn(s2, s3, s0, s1, rk[2]);
    uint32_t t3 = roundColumn(s3, s0, s1, s2, rk[3]);
    s0 = t0, s1 = t1, s2 = t2, s3 = t3;
  }
  rk += 4;
  storeColumn(lastColumn(s0, s1, s2, s3, rk[0]), out);
  storeColumn(lastColumn(s1, s2, s3, s0, rk[1]), out + 4);
  storeColumn(lastColumn(s2, s3, s0, s1, rk[2]), out + 8);
  storeColumn(lastColumn(s3, s0, s1, s2, rk[3]), out + 12);
}

void decryptBlocksTable(const AesKey& key, const uint8_t* in, uint8_t* out, size_t blocks) {
  for (size_t i = 0; i < blocks; i++) {
    decryptBlock(key.roundKeys, key.rounds, in + i * kAesBlockSize, out + i * kAesBlockSize);
  }
}

void encryptBlocksTable(const AesKey& key, const uint8_t* in, uint8_t* out, size_t blocks) {
  for (size_t i = 0; i < blocks; i++) {
    encryptBlock(key.roundKeys, key.rounds, in + i * kAesBlockSize, out + i * kAesBlockSize);
  }
}

}  // namespace extractor
