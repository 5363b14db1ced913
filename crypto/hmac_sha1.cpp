#include "crypto/hmac_sha1.h"

#include <cstring>

namespace extractor {
namespace {

constexpr uint8_t kInnerPad = 0x36;
constexpr uint8_t kOuterPad = 0x5C;
constexpr uint32_t kInitialState[5] = {0x67452301, 0xEFCDAB89, 0x98BADCFE, 0x10325476, 0xC3D2E1F0};

// The key padded to a block, a longer key first hashed.
void blockKey(const uint8_t* key, size_t keySize, uint8_t out[kSha1BlockSize]) {
  std::memset(out, 0, kSha1BlockSize);
  if (keySize > kSha1BlockSize) {
    Sha1 hash;
    hash.update(key, keySize);
    hash.finish(out);
  } else if (keySize > 0) {
    std::memcpy(out, key, keySize);
  }
}

// The chaining state after one block of key XOR pad.
void padState(const uint8_t key[kSha1BlockSize], uint8_t pad, uint32_t state[5]) {
  uint8_t block[kSha1BlockSize];
  for (size_t i = 0; i < kSha1BlockSize; i++) block[i] = key[i] ^ pad;
  std::memcpy(state, kInitialState, sizeof kInitialState);
  sha1Blocks(state, block, 1);
}

void storeDigest(const uint32_t state[5], uint8_t* out) {
  for (int i = 0; i < 5; i++) {
    for (int j = 0; j < 4; j++) out[4 * i + j] = static_cast<uint8_t>(state[i] >> (24 - 8 * j));
  }
}

// One block holding a 20-byte message that follows a 64-byte pad block:
// the digest's place, the 0x80 marker and the bit count of 84 bytes.
void prepareDigestBlock(uint8_t block[kSha1BlockSize]) {
  std::memset(block, 0, kSha1BlockSize);
  block[kSha1DigestSize] = 0x80;
  const uint32_t bits = (kSha1BlockSize + kSha1DigestSize) * 8;
  block[62] = static_cast<uint8_t>(bits >> 8);
  block[63] = static_cast<uint8_t>(bits);
}

}  // namespace

void HmacSha1::setKey(const uint8_t* key, size_t keySize) {
  uint8_t k[kSha1BlockSize];
  blockKey(key, keySize, k);
  for (size_t i = 0; i < kSha1BlockSize; i++) {
    innerPad_[i] = k[i] ^ kInnerPad;
    outerPad_[i] = k[i] ^ kOuterPad;
  }
  inner_.reset();
  inner_.update(innerPad_, kSha1BlockSize);
}

void HmacSha1::finish(uint8_t code[kSha1DigestSize]) {
  uint8_t innerDigest[kSha1DigestSize];
  inner_.finish(innerDigest);
  Sha1 outer;
  outer.update(outerPad_, kSha1BlockSize);
  outer.update(innerDigest, kSha1DigestSize);
  outer.finish(code);
  inner_.update(innerPad_, kSha1BlockSize);
}

// Every iteration hashes one 20-byte message under the same key, so the
// two pad blocks are compressed once and each iteration costs exactly two
// compressions on a prepared block.
void pbkdf2HmacSha1(const uint8_t* password, size_t passwordSize, const uint8_t* salt,
                    size_t saltSize, uint32_t iterations, uint8_t* out, size_t outSize) {
  uint8_t key[kSha1BlockSize];
  blockKey(password, passwordSize, key);
  uint32_t innerState[5], outerState[5];
  padState(key, kInnerPad, innerState);
  padState(key, kOuterPad, outerState);
  HmacSha1 first(password, passwordSize);

  uint8_t block[kSha1BlockSize];
  prepareDigestBlock(block);
  for (uint32_t index = 1; outSize > 0; index++) {
    // U1 = HMAC(password, salt || INT(index)).
    const uint8_t counter[4] = {static_cast<uint8_t>(index >> 24),
                                static_cast<uint8_t>(index >> 16), static_cast<uint8_t>(index >> 8),
                                static_cast<uint8_t>(index)};
    first.update(salt, saltSize);
    first.update(counter, 4);
    uint8_t u[kSha1DigestSize];
    first.finish(u);
    uint8_t t[kSha1DigestSize];
    std::memcpy(t, u, kSha1DigestSize);
    std::memcpy(block, u, kSha1DigestSize);
    for (uint32_t i = 1; i < iterations; i++) {
      uint32_t state[5];
      std::memcpy(state, innerState, sizeof state);
      sha1Blocks(state, block, 1);
      storeDigest(state, block);
      std::memcpy(state, outerState, sizeof state);
      sha1Blocks(state, block, 1);
      storeDigest(state, block);
      for (size_t j = 0; j < kSha1DigestSize; j++) t[j] ^= block[j];
    }
    size_t take = outSize < kSha1DigestSize ? outSize : kSha1DigestSize;
    std::memcpy(out, t, take);
    out += take;
    outSize -= take;
  }
}

}  // namespace extractor
