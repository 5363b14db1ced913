#pragma once

// SHA-256 (FIPS 180-4), incremental: one of the checks a .xz block may
// carry.

#include <cstddef>
#include <cstdint>

namespace extractor {

constexpr size_t kSha256BlockSize = 64;
constexpr size_t kSha256DigestSize = 32;

class Sha256 {
 public:
  Sha256() { reset(); }
  void reset();
  void update(const uint8_t* data, size_t size);
  void finish(uint8_t digest[kSha256DigestSize]);

 private:
  uint32_t state_[8];
  uint8_t block_[kSha256BlockSize];
  size_t used_ = 0;
  uint64_t length_ = 0;
};

}  // namespace extractor
