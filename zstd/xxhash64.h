// XXH64 with seed 0, fed in pieces: the frame checksum is the low 32 bits of
// the hash of the frame's content.
#pragma once

#include <cstddef>
#include <cstdint>

namespace extractor::zstd {

class Xxhash64 {
 public:
  Xxhash64() { reset(); }
  void reset();
  // With `copy`, the bytes are also copied there: the copy out of the
  // decoder's window rides on the hash's pass over them.
  void update(const uint8_t* data, size_t size, uint8_t* copy = nullptr);
  uint64_t digest() const;

 private:
  uint64_t acc_[4];
  uint8_t pending_[32];
  unsigned pendingSize_;
  uint64_t total_;
};

}  // namespace extractor::zstd
