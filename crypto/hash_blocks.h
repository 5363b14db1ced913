// The block buffering that SHA-1 and SHA-256 share: data gathered into
// 64-byte blocks for a compression function, and the final padding (0x80,
// zeros, the message length in bits, big-endian, in the last 8 bytes).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace extractor {

constexpr size_t kHashBlockSize = 64;

// Feeds size bytes through block (used bytes already in it) to
// compress(data, blocks), which takes whole blocks.
template <typename Compress>
void hashUpdate(uint8_t (&block)[kHashBlockSize], size_t& used, const uint8_t* data, size_t size,
                Compress compress) {
  if (size == 0) return;  // data may be null then
  if (used > 0) {
    size_t take = kHashBlockSize - used;
    if (take > size) take = size;
    std::memcpy(block + used, data, take);
    used += take;
    data += take;
    size -= take;
    if (used < kHashBlockSize) return;
    compress(block, 1);
    used = 0;
  }
  const size_t whole = size / kHashBlockSize;
  if (whole > 0) compress(data, whole);
  data += whole * kHashBlockSize;
  size -= whole * kHashBlockSize;
  std::memcpy(block, data, size);
  used = size;
}

// Pads the used bytes of block for a message of length bytes and
// compresses the last one or two blocks.
template <typename Compress>
void hashFinish(const uint8_t (&block)[kHashBlockSize], size_t used, uint64_t length,
                Compress compress) {
  const uint64_t bits = length * 8;
  uint8_t tail[2 * kHashBlockSize] = {};
  std::memcpy(tail, block, used);
  tail[used] = 0x80;
  // The bit count takes the last 8 bytes of the block that holds the 0x80,
  // or of one more block when fewer than 8 bytes are left after it.
  const size_t total = used + 1 + 8 <= kHashBlockSize ? kHashBlockSize : 2 * kHashBlockSize;
  for (int i = 0; i < 8; i++) tail[total - 1 - i] = static_cast<uint8_t>(bits >> (8 * i));
  compress(tail, total / kHashBlockSize);
}

}  // namespace extractor
