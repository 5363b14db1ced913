// One of a block's up to six Huffman codes: canonical, codes of 1 to 20
// bits, assigned in order of length and then symbol.
#pragma once

#include <cstdint>

#include "bzip2/bit_reader.h"

namespace extractor::bzip2 {

constexpr unsigned kMaxCodeLength = 20;
constexpr unsigned kMaxAlphabet = 258;

class GroupCode {
 public:
  // False for lengths outside 1..20 or more codes than the lengths admit.
  bool build(const uint8_t* lengths, unsigned alphabetSize);

  // The symbol at the front of bits, and its length; length 0 for a bit
  // pattern no code starts. bits holds at least 20 valid bits, or zeros
  // after the valid ones.
  uint32_t decode(uint64_t bits, unsigned& length) const {
    const uint16_t entry = fast_[bits >> (64 - kFastBits)];
    if (entry & 31) {
      length = entry & 31;
      return entry >> 5;
    }
    return decodeLong(bits, length);
  }

 private:
  static constexpr unsigned kFastBits = 10;
  uint32_t decodeLong(uint64_t bits, unsigned& length) const;

  uint16_t fast_[1u << kFastBits];  // symbol << 5 | length; 0 for longer codes
  uint32_t firstCode_[kMaxCodeLength + 1];
  uint16_t countOf_[kMaxCodeLength + 1];
  uint16_t firstIndex_[kMaxCodeLength + 1];
  uint16_t sorted_[kMaxAlphabet];  // symbols by length, then value
};

}  // namespace extractor::bzip2
