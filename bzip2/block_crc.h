// The CRC-32 of bzip2 blocks: the polynomial of ZIP's CRC-32 taken most
// significant bit first, over the block's bytes after all decoding.
#pragma once

#include <array>
#include <cstdint>

namespace extractor::bzip2 {

struct BlockCrcTable {
  std::array<uint32_t, 256> entries{};
  constexpr BlockCrcTable() {
    for (uint32_t i = 0; i < 256; ++i) {
      uint32_t c = i << 24;
      for (int k = 0; k < 8; ++k) c = (c << 1) ^ ((c & 0x80000000u) ? 0x04C11DB7u : 0);
      entries[i] = c;
    }
  }
};

inline constexpr BlockCrcTable kBlockCrc;

inline uint32_t blockCrcByte(uint32_t crc, uint8_t byte) {
  return (crc << 8) ^ kBlockCrc.entries[(crc >> 24) ^ byte];
}

}  // namespace extractor::bzip2
