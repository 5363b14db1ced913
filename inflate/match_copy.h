// Copies of back-references inside the output.
#pragma once

#include <cstdint>
#include <cstring>

namespace extractor {

// Bytes a copyMatchFast may write beyond the match.
constexpr unsigned kMatchOverwrite = 16;

inline void copyWord(uint8_t* dst, const uint8_t* src) {
  std::memcpy(dst, src, 8);
}

// Copies whole words, writing up to kMatchOverwrite - 1 bytes past the
// match (a match of 0 bytes included). With a distance of 8 or more a word never overlaps its own
// source.
inline void copyMatchFast(uint8_t* out, uint32_t distance, uint32_t length) {
  const uint8_t* src = out - distance;
  uint8_t* const end = out + length;
  if (distance >= 8) {
    // Most matches are short: two words cover them.
    copyWord(out, src);
    copyWord(out + 8, src + 8);
    for (out += 16, src += 16; out < end; out += 8, src += 8) copyWord(out, src);
  } else if (distance == 1) {
    uint64_t pattern = 0x0101010101010101ull * *src;
    do {
      std::memcpy(out, &pattern, 8);
      out += 8;
    } while (out < end);
  } else {
    // The first word byte by byte; after it a word can come from a whole
    // number of periods back, which is at least a word back.
    for (unsigned i = 0; i < 8; ++i) out[i] = src[i];
    const uint32_t back = (8 + distance - 1) / distance * distance;
    for (uint8_t* p = out + 8; p < end; p += 8) copyWord(p, p - back);
  }
}

inline void copyMatchExact(uint8_t* out, uint32_t distance, uint32_t length) {
  const uint8_t* src = out - distance;
  for (uint32_t i = 0; i < length; ++i) out[i] = src[i];
}

}  // namespace extractor
