#include "crypto/sha1.h"

#include <cstring>

#include "crypto/hash_blocks.h"

#include "crypto/sha1_paths.h"

namespace extractor {

namespace {

constexpr uint32_t kInitialState[5] = {0x67452301, 0xEFCDAB89, 0x98BADCFE, 0x10325476, 0xC3D2E1F0};

inline uint32_t rotl(uint32_t x, int n) {
  return (x << n) | (x >> (32 - n));
}

inline uint32_t loadBigEndian(const uint8_t* p) {
  return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3];
}

using BlocksPath = void (*)(uint32_t*, const uint8_t*, size_t);

}  // namespace

void sha1BlocksPortable(uint32_t state[5], const uint8_t* data, size_t blocks) {
  for (; blocks > 0; blocks--, data += kSha1BlockSize) {
    // The schedule lives in a 16-word ring: word t replaces word t - 16.
    uint32_t w[16];
    for (int t = 0; t < 16; t++) w[t] = loadBigEndian(data + 4 * t);
    uint32_t a = state[0], b = state[1], c = state[2], d = state[3], e = state[4];
    for (int t = 0; t < 80; t++) {
      if (t >= 16) {
        w[t & 15] = rotl(w[(t - 3) & 15] ^ w[(t - 8) & 15] ^ w[(t - 14) & 15] ^ w[t & 15], 1);
      }
      uint32_t f, k;
      if (t < 20) {
        f = (b & c) | (~b & d);
        k = 0x5A827999;
      } else if (t < 40) {
        f = b ^ c ^ d;
        k = 0x6ED9EBA1;
      } else if (t < 60) {
        f = (b & c) | (b & d) | (c & d);
        k = 0x8F1BBCDC;
      } else {
        f = b ^ c ^ d;
        k = 0xCA62C1D6;
      }
      uint32_t next = rotl(a, 5) + f + e + k + w[t & 15];
      e = d;
      d = c;
      c = rotl(b, 30);
      b = a;
      a = next;
    }
    state[0] += a;
    state[1] += b;
    state[2] += c;
    state[3] += d;
    state[4] += e;
  }
}

void sha1Blocks(uint32_t state[5], const uint8_t* data, size_t blocks) {
  static const BlocksPath path = sha1ShaNiAvailable() ? sha1BlocksShaNi : sha1BlocksPortable;
  path(state, data, blocks);
}

void Sha1::reset() {
  std::memcpy(state_, kInitialState, sizeof state_);
  used_ = 0;
  length_ = 0;
}

void Sha1::update(const uint8_t* data, size_t size) {
  length_ += size;
  hashUpdate(block_, used_, data, size,
             [this](const uint8_t* blocks, size_t count) { sha1Blocks(state_, blocks, count); });
}

void Sha1::finish(uint8_t digest[kSha1DigestSize]) {
  hashFinish(block_, used_, length_,
             [this](const uint8_t* blocks, size_t count) { sha1Blocks(state_, blocks, count); });
  for (int i = 0; i < 5; i++) {
    for (int j = 0; j < 4; j++) digest[4 * i + j] = static_cast<uint8_t>(state_[i] >> (24 - 8 * j));
  }
  reset();
}

}  // namespace extractor
