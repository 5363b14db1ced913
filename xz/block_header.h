// A .xz block header: its size, the sizes it may state, and the filter
// chain, of which this decoder reads LZMA2 alone or after the x86 filter.
#pragma once

#include <cstdint>

#include "decode/decode_status.h"

namespace extractor::xz {

constexpr uint64_t kUnknownSize = UINT64_MAX;

struct BlockHeader {
  uint64_t compressedSize = kUnknownSize;
  uint64_t uncompressedSize = kUnknownSize;
  uint32_t dictionarySize = 0;
  bool x86 = false;
  uint32_t x86Start = 0;  // address of the block's first byte for the x86 filter
};

// Reads a header of size bytes whose CRC-32 has been checked; kDone when
// it can be decoded.
DecodeStatus parseBlockHeader(const uint8_t* bytes, uint32_t size, BlockHeader& header);

// A variable-length integer: 7 bits a byte, low first, the top bit set on
// all bytes but the last; at most 9 bytes and no needless zero byte. False
// when it is not one or runs past end.
bool readNumber(const uint8_t*& p, const uint8_t* end, uint64_t& value);

}  // namespace extractor::xz
