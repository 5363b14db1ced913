#include "crypto/sha256.h"

#include <cstring>

#include "crypto/hash_blocks.h"

namespace extractor {

namespace {

constexpr uint32_t kInitialState[8] = {0x6A09E667, 0xBB67AE85, 0x3C6EF372, 0xA54FF53A,
                                       0x510E527F, 0x9B05688C, 0x1F83D9AB, 0x5BE0CD19};

// The first 32 bits of the fractional parts of the cube roots of the first
// 64 primes.
constexpr uint32_t kRound[64] = {
    0x428A2F98, 0x71374491, 0xB5C0FBCF, 0xE9B5DBA5, 0x3956C25B, 0x59F111F1, 0x923F82A4, 0xAB1C5ED5,
    0xD807AA98, 0x12835B01, 0x243185BE, 0x550C7DC3, 0x72BE5D74, 0x80DEB1FE, 0x9BDC06A7, 0xC19BF174,
    0xE49B69C1, 0xEFBE4786, 0x0FC19DC6, 0x240CA1CC, 0x2DE92C6F, 0x4A7484AA, 0x5CB0A9DC, 0x76F988DA,
    0x983E5152, 0xA831C66D, 0xB00327C8, 0xBF597FC7, 0xC6E00BF3, 0xD5A79147, 0x06CA6351, 0x14292967,
    0x27B70A85, 0x2E1B2138, 0x4D2C6DFC, 0x53380D13, 0x650A7354, 0x766A0ABB, 0x81C2C92E, 0x92722C85,
    0xA2BFE8A1, 0xA81A664B, 0xC24B8B70, 0xC76C51A3, 0xD192E819, 0xD6990624, 0xF40E3585, 0x106AA070,
    0x19A4C116, 0x1E376C08, 0x2748774C, 0x34B0BCB5, 0x391C0CB3, 0x4ED8AA4A, 0x5B9CCA4F, 0x682E6FF3,
    0x748F82EE, 0x78A5636F, 0x84C87814, 0x8CC70208, 0x90BEFFFA, 0xA4506CEB, 0xBEF9A3F7, 0xC67178F2};

inline uint32_t rotr(uint32_t x, int n) {
  return (x >> n) | (x << (32 - n));
}

inline uint32_t loadBigEndian(const uint8_t* p) {
  return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3];
}

void compress(uint32_t state[8], const uint8_t* data, size_t blocks) {
  for (; blocks > 0; blocks--, data += kSha256BlockSize) {
    // The schedule lives in a 16-word ring: word t replaces word t - 16.
    uint32_t w[16];
    for (int t = 0; t < 16; t++) w[t] = loadBigEndian(data + 4 * t);
    uint32_t v[8];
    std::memcpy(v, state, sizeof v);
    for (int t = 0; t < 64; t++) {
      if (t >= 16) {
        const uint32_t w15 = w[(t - 15) & 15], w2 = w[(t - 2) & 15];
        const uint32_t s0 = rotr(w15, 7) ^ rotr(w15, 18) ^ (w15 >> 3);
        const uint32_t s1 = rotr(w2, 17) ^ rotr(w2, 19) ^ (w2 >> 10);
        w[t & 15] += s0 + w[(t - 7) & 15] + s1;
      }
      const uint32_t e = v[4], a = v[0];
      const uint32_t choose = (e & v[5]) ^ (~e & v[6]);
      const uint32_t t1 =
          v[7] + (rotr(e, 6) ^ rotr(e, 11) ^ rotr(e, 25)) + choose + kRound[t] + w[t & 15];
      const uint32_t majority = (a & v[1]) ^ (a & v[2]) ^ (v[1] & v[2]);
      const uint32_t t2 = (rotr(a, 2) ^ rotr(a, 13) ^ rotr(a, 22)) + majority;
      std::memmove(v + 1, v, 7 * sizeof v[0]);
      v[4] += t1;
      v[0] = t1 + t2;
    }
    for (int i = 0; i < 8; i++) state[i] += v[i];
  }
}

}  // namespace

void Sha256::reset() {
  std::memcpy(state_, kInitialState, sizeof state_);
  used_ = 0;
  length_ = 0;
}

void Sha256::update(const uint8_t* data, size_t size) {
  length_ += size;
  hashUpdate(block_, used_, data, size,
             [this](const uint8_t* blocks, size_t count) { compress(state_, blocks, count); });
}

void Sha256::finish(uint8_t digest[kSha256DigestSize]) {
  hashFinish(block_, used_, length_,
             [this](const uint8_t* blocks, size_t count) { compress(state_, blocks, count); });
  for (int i = 0; i < 8; i++) {
    for (int j = 0; j < 4; j++) digest[4 * i + j] = static_cast<uint8_t>(state_[i] >> (24 - 8 * j));
  }
  reset();
}

}  // namespace extractor
