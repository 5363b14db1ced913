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

static void decryptBlock(const uint32_t* rk, int rounds, const uint8_t* in, uint8_t* out) {
  const auto& d = aesTables.decrypt;
  uint32_t s[4], t[4];
  for (int c = 0; c < 4; c++) s[c] = loadColumn(in + 4 * c) ^ rk[c];
  for (int r = 1; r < rounds; r++) {
    rk += 4;
    for (int c = 0; c < 4; c++) {
      t[c] = d[0][s[c] >> 24] ^ d[1][(s[(c + 3) & 3] >> 16) & 0xFF] ^
             d[2][(s[(c + 2) & 3] >> 8) & 0xFF] ^ d[3][s[(c + 1) & 3] & 0xFF] ^ rk[c];
    }
    for (int c = 0; c < 4; c++) s[c] = t[c];
  }
  rk += 4;
  const uint32_t* last = aesTables.decryptLast;
  for (int c = 0; c < 4; c++) {
    t[c] = (last[s[c] >> 24] & 0xFF000000u) ^ (last[(s[(c + 3) & 3] >> 16) & 0xFF] & 0x00FF0000u) ^
           (last[(s[(c + 2) & 3] >> 8) & 0xFF] & 0x0000FF00u) ^
           (last[s[(c + 1) & 3] & 0xFF] & 0x000000FFu) ^ rk[c];
  }
  for (int c = 0; c < 4; c++) storeColumn(t[c], out + 4 * c);
}

static void encryptBlock(const uint32_t* rk, int rounds, const uint8_t* in, uint8_t* out) {
  const auto& e = aesTables.encrypt;
  uint32_t s[4], t[4];
  for (int c = 0; c < 4; c++) s[c] = loadColumn(in + 4 * c) ^ rk[c];
  for (int r = 1; r < rounds; r++) {
    rk += 4;
    for (int c = 0; c < 4; c++) {
      t[c] = e[0][s[c] >> 24] ^ e[1][(s[(c + 1) & 3] >> 16) & 0xFF] ^
             e[2][(s[(c + 2) & 3] >> 8) & 0xFF] ^ e[3][s[(c + 3) & 3] & 0xFF] ^ rk[c];
    }
    for (int c = 0; c < 4; c++) s[c] = t[c];
  }
  rk += 4;
  const uint8_t* sb = aesTables.sBox;
  for (int c = 0; c < 4; c++) {
    t[c] = columnWord(sb[s[c] >> 24], sb[(s[(c + 1) & 3] >> 16) & 0xFF],
                      sb[(s[(c + 2) & 3] >> 8) & 0xFF], sb[s[(c + 3) & 3] & 0xFF]) ^
           rk[c];
  }
  for (int c = 0; c < 4; c++) storeColumn(t[c], out + 4 * c);
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
