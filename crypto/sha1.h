#pragma once

// SHA-1 (FIPS 180-4), incremental. It serves only as the hash inside
// HMAC-SHA1 for the authentication and key derivation of WinZip AES entries.

#include <cstddef>
#include <cstdint>

namespace extractor {

constexpr size_t kSha1BlockSize = 64;
constexpr size_t kSha1DigestSize = 20;

// Runs the compression function over whole 64-byte blocks with the fastest
// path this CPU has.
void sha1Blocks(uint32_t state[5], const uint8_t* data, size_t blocks);

class Sha1 {
 public:
  Sha1() { reset(); }
  void reset();
  void update(const uint8_t* data, size_t size);
  void finish(uint8_t digest[kSha1DigestSize]);

 private:
  uint32_t state_[5];
  uint8_t block_[kSha1BlockSize];
  size_t used_ = 0;
  uint64_t length_ = 0;
};

}  // namespace extractor
