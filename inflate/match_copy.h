// Copies of back-references inside the output.
#pragma once

#include <cstdint>
#include <cstring>

namespace extractor {

// Bytes a copyMatchFast may write beyond the match.
constexpr unsigned kMatchOverwrite = 48;

inline void copyWord(uint8_t* dst, const uint8_t* src) {
  std::memcpy(dst, src, 8);
}

inline void copyBlock16(uint8_t* dst, const uint8_t* src) {
  std::memcpy(dst, src, 16);
}

// For a distance of 1 to 15, whole numbers of periods: the least one of at
// least 8 bytes and the least one of at least 16. From that far back a word
// or a block repeats the pattern.
struct PeriodsBack {
  uint8_t word, block;
};
struct PeriodsBackTable {
  PeriodsBack byDistance[16];
  constexpr PeriodsBackTable() : byDistance() {
    for (unsigned d = 1; d < 16; ++d) {
      byDistance[d].word = static_cast<uint8_t>((8 + d - 1) / d * d);
      byDistance[d].block = static_cast<uint8_t>((16 + d - 1) / d * d);
    }
  }
};
constexpr PeriodsBackTable kPeriodsBack;

// A distance of 2 to 15: the first 8 bytes a byte at a time, which repeats
// the pattern however short it is, a word from a whole number of periods
// back, then blocks from a whole number of periods back.
inline void copyShortDistance(uint8_t* out, const uint8_t* src, uint8_t* end, uint32_t distance) {
  const PeriodsBack back = kPeriodsBack.byDistance[distance];
  for (unsigned i = 0; i < 8; ++i) out[i] = src[i];
  copyWord(out + 8, out + 8 - back.word);
  for (uint8_t* p = out + 16; p < end; p += 16) copyBlock16(p, p - back.block);
}

// Copies in whole words and blocks, writing up to kMatchOverwrite - 1 bytes
// past the match (a match of 0 bytes included). Most matches are short, so
// the first 40 bytes are copied without a test, in words, which measured
// faster than blocks for them; longer ones go on two blocks a turn, which
// halves the turns of the loop. A word or block never overlaps its own
// source: a distance of 16 or more takes both.
inline void copyMatchFast(uint8_t* out, uint32_t distance, uint32_t length) {
  const uint8_t* src = out - distance;
  uint8_t* const end = out + length;
  if (distance >= 16) {
    copyWord(out, src);
    copyWord(out + 8, src + 8);
    copyWord(out + 16, src + 16);
    copyWord(out + 24, src + 24);
    copyWord(out + 32, src + 32);
    for (out += 40, src += 40; out < end; out += 32, src += 32) {
      copyBlock16(out, src);
      copyBlock16(out + 16, src + 16);
    }
  } else if (distance == 1) {
    // A run of one byte, stored from a register.
    const uint64_t pattern = *src * uint64_t{0x0101010101010101};
    do {
      std::memcpy(out, &pattern, 8);
      std::memcpy(out + 8, &pattern, 8);
      std::memcpy(out + 16, &pattern, 8);
      std::memcpy(out + 24, &pattern, 8);
      out += 32;
    } while (out < end);
  } else {
    copyShortDistance(out, src, end, distance);
  }
}

inline void copyMatchExact(uint8_t* out, uint32_t distance, uint32_t length) {
  const uint8_t* src = out - distance;
  for (uint32_t i = 0; i < length; ++i) out[i] = src[i];
}

}  // namespace extractor
