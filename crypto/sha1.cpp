#include "crypto/sha1.h"

#include <cstring>

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
  if (size == 0) return;  // data may be null then
  length_ += size;
  if (used_ > 0) {
    size_t take = kSha1BlockSize - used_;
    if (take > size) take = size;
    std::memcpy(block_ + used_, data, take);
    used_ += take;
    data += take;
    size -= take;
    if (used_ < kSha1BlockSize) return;
    sha1Blocks(state_, block_, 1);
    used_ = 0;
  }
  size_t whole = size / kSha1BlockSize;
  if (whole > 0) sha1Blocks(state_, data, whole);
  data += whole * kSha1BlockSize;
  size -= whole * kSha1BlockSize;
  std::memcpy(block_, data, size);
  used_ = size;
}

void Sha1::finish(uint8_t digest[kSha1DigestSize]) {
  const uint64_t bits = length_ * 8;
  uint8_t tail[2 * kSha1BlockSize] = {};
  std::memcpy(tail, block_, used_);
  tail[used_] = 0x80;
  // The bit count takes the last 8 bytes of the block that holds the 0x80,
  // or of one more block when fewer than 8 bytes are left after it.
  size_t total = used_ + 1 + 8 <= kSha1BlockSize ? kSha1BlockSize : 2 * kSha1BlockSize;
  for (int i = 0; i < 8; i++) tail[total - 1 - i] = static_cast<uint8_t>(bits >> (8 * i));
  sha1Blocks(state_, tail, total / kSha1BlockSize);
  for (int i = 0; i < 5; i++) {
    for (int j = 0; j < 4; j++) digest[4 * i + j] = static_cast<uint8_t>(state_[i] >> (24 - 8 * j));
  }
  reset();
}

}  // namespace extractor
