#pragma once

// Shared pieces of the CRC-32 paths that fold 128-bit blocks with carry-less
// multiplication.
//
// In the reflected bit order of this CRC a 16-byte block loaded little-endian
// holds a polynomial X of degree < 128 whose low 64-bit lane carries the high
// coefficients H and whose high lane carries the low ones L: X = H x^64 + L.
// Moving X forward over d more bits means X x^d = H x^(d+64) + L x^d, and each
// x^e can be replaced by its remainder modulo the CRC polynomial, a 32-bit
// constant. Multiplying reflected operands yields the product times x, and a
// constant placed in the low half of a lane stands for itself times x^32, so
// the constant for x^e is the remainder of x^(e-33).

#include <immintrin.h>

#include <cstddef>
#include <cstdint>

#include "crypto/crc32_paths.h"

namespace extractor {

constexpr size_t kFoldBlock = 16;

// x^n modulo the CRC polynomial, in reflected 32-bit form.
constexpr uint32_t xPowMod(int n) {
  uint32_t v = 0x80000000u;
  for (int i = 0; i < n; i++) v = (v & 1) ? (v >> 1) ^ 0xEDB88320u : v >> 1;
  return v;
}

struct FoldConstants {
  long long high, low;  // multiply H (low lane) and L (high lane)
};

constexpr FoldConstants foldOver(int bits) {
  return {xPowMod(bits + 64 - 33), xPowMod(bits - 33)};
}

#define CRC_FOLD_TARGET __attribute__((target("pclmul,sse2")))

CRC_FOLD_TARGET inline __m128i foldConstants(FoldConstants k) {
  return _mm_set_epi64x(k.low, k.high);
}

CRC_FOLD_TARGET inline __m128i loadBlock(const uint8_t* p) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

CRC_FOLD_TARGET inline __m128i fold(__m128i x, __m128i k, __m128i next) {
  __m128i h = _mm_clmulepi64_si128(x, k, 0x00);
  __m128i l = _mm_clmulepi64_si128(x, k, 0x11);
  return _mm_xor_si128(_mm_xor_si128(h, l), next);
}

// Folds the remaining whole blocks into x and returns the CRC register after
// the remaining bytes.
CRC_FOLD_TARGET inline uint32_t finishFold(__m128i x, const uint8_t* data, size_t length) {
  const __m128i k1 = foldConstants(foldOver(128));
  for (; length >= kFoldBlock; data += kFoldBlock, length -= kFoldBlock) {
    x = fold(x, k1, loadBlock(data));
  }
  // X x^32 mod P is the CRC register of X's sixteen bytes run from zero.
  uint8_t folded[kFoldBlock];
  _mm_storeu_si128(reinterpret_cast<__m128i*>(folded), x);
  return crc32Slice8(crc32Slice8(0, folded, kFoldBlock), data, length);
}

}  // namespace extractor
