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

// The first 40 bytes of a match that lies wholly before its output (its
// length at most its distance), all loaded before any is stored: a load
// that overlaps a store still in flight waits for it, and the bytes loaded
// past the match's end would otherwise often be this copy's own.
inline void copyHeadFromBefore(uint8_t* out, const uint8_t* src) {
  uint64_t w0, w1, w2, w3, w4;
  std::memcpy(&w0, src, 8);
  std::memcpy(&w1, src + 8, 8);
  std::memcpy(&w2, src + 16, 8);
  std::memcpy(&w3, src + 24, 8);
  std::memcpy(&w4, src + 32, 8);
  std::memcpy(out, &w0, 8);
  std::memcpy(out + 8, &w1, 8);
  std::memcpy(out + 16, &w2, 8);
  std::memcpy(out + 24, &w3, 8);
  std::memcpy(out + 32, &w4, 8);
}

// The first 40 bytes of a match that overlaps its output, a word at a time:
// with a distance of 16 or more a word never overlaps its own source.
inline void copyHeadInOrder(uint8_t* out, const uint8_t* src) {
  copyWord(out, src);
  copyWord(out + 8, src + 8);
  copyWord(out + 16, src + 16);
  copyWord(out + 24, src + 24);
  copyWord(out + 32, src + 32);
}

// Copies in whole words and blocks, writing up to kMatchOverwrite - 1 bytes
// past the match (a match of 0 bytes included). Most matches are short, so
// the first 40 bytes are copied without a test, which measured faster than
// blocks for them; longer ones go on two blocks a turn, which halves the
// turns of the loop. A block never overlaps its own source: the loop runs
// only past 40 bytes, so for distances of 16 or more.
inline void copyMatchFast(uint8_t* out, uint32_t distance, uint32_t length) {
  const uint8_t* src = out - distance;
  uint8_t* const end = out + length;
  if (distance >= length) {
    copyHeadFromBefore(out, src);
  } else if (distance >= 16) {
    copyHeadInOrder(out, src);
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
    return;
  } else {
    copyShortDistance(out, src, end, distance);
    return;
  }
  for (out += 40, src += 40; out < end; out += 32, src += 32) {
    copyBlock16(out, src);
    copyBlock16(out + 16, src + 16);
  }
}

inline void copyMatchExact(uint8_t* out, uint32_t distance, uint32_t length) {
  const uint8_t* src = out - distance;
  for (uint32_t i = 0; i < length; ++i) out[i] = src[i];
}

}  // namespace extractor
