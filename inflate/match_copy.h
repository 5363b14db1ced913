// Copies of back-references inside the output.
#pragma once

#include <cstdint>
#include <cstring>

namespace extractor {

// Bytes a copyMatchFast may write beyond the match.
constexpr unsigned kMatchOverwrite = 32;

inline void copyWord(uint8_t* dst, const uint8_t* src) {
  std::memcpy(dst, src, 8);
}

inline void copyBlock16(uint8_t* dst, const uint8_t* src) {
  std::memcpy(dst, src, 16);
}

// Copies in whole blocks, writing up to kMatchOverwrite - 1 bytes past the
// match (a match of 0 bytes included). Most matches are short, so the
// first 32 bytes are copied without a test. A block never overlaps its own
// source: blocks of 16 bytes need a distance of 16 or more, words one of 8.
inline void copyMatchFast(uint8_t* out, uint32_t distance, uint32_t length) {
  const uint8_t* src = out - distance;
  uint8_t* const end = out + length;
  if (distance >= 16) {
    copyBlock16(out, src);
    copyBlock16(out + 16, src + 16);
    for (out += 32, src += 32; out < end; out += 16, src += 16) copyBlock16(out, src);
  } else if (distance >= 8) {
    for (unsigned i = 0; i < 32; i += 8) copyWord(out + i, src + i);
    for (out += 32, src += 32; out < end; out += 8, src += 8) copyWord(out, src);
  } else if (distance == 1) {
    const uint64_t pattern = 0x0101010101010101ull * *src;
    do {
      std::memcpy(out, &pattern, 8);
      std::memcpy(out + 8, &pattern, 8);
      out += 16;
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
