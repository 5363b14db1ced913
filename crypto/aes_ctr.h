#pragma once

// AES in counter mode as WinZip AES entries use it: the keystream is the
// encryption of a 16-byte little-endian counter that starts at 1 and goes
// up by one per block. Encryption and decryption are the same XOR.

#include <cstddef>
#include <cstdint>

#include "crypto/aes.h"

namespace extractor {

class AesCtr {
 public:
  // keyBits 128, 192 or 256, from keyBits / 8 key bytes; the counter
  // starts again at 1.
  void setKey(const uint8_t* keyBytes, int keyBits);
  // XORs the next size bytes of keystream into data; any split of a stream
  // into calls gives the same result.
  void apply(uint8_t* data, size_t size);

 private:
  AesKey key_{};
  uint64_t counter_ = 1;  // the upper 64 bits of the counter stay 0
  uint8_t keystream_[kAesBlockSize] = {};
  size_t used_ = kAesBlockSize;  // bytes of keystream_ already applied
};

}  // namespace extractor
