// CRC-32 by folding with VPCLMULQDQ on 256-bit registers: each register
// carries two consecutive 16-byte blocks, each folded as in crc32_fold.h.

#include "crypto/crc32_paths.h"

#if defined(__x86_64__) || defined(__i386__)

#include "crypto/cpu_features.h"
#include "crypto/crc32_fold.h"

namespace extractor {

// Four registers of two blocks: 128 bytes in flight.
constexpr size_t kWide = 2 * kFoldBlock;
constexpr size_t kStride = 4 * kWide;

bool crc32VpclmulAvailable() {
  return cpuHasVpclmulAvx2();
}

#define CRC_WIDE_TARGET __attribute__((target("vpclmulqdq,avx2,pclmul")))

CRC_WIDE_TARGET static inline __m256i loadWide(const uint8_t* p) {
  return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}

CRC_WIDE_TARGET static inline __m256i foldWide(__m256i x, __m256i k, __m256i next) {
  __m256i h = _mm256_clmulepi64_epi128(x, k, 0x00);
  __m256i l = _mm256_clmulepi64_epi128(x, k, 0x11);
  return _mm256_xor_si256(_mm256_xor_si256(h, l), next);
}

CRC_WIDE_TARGET uint32_t crc32Vpclmul(uint32_t reg, const uint8_t* data, size_t length) {
  if (length < 2 * kStride) return crc32Clmul(reg, data, length);

  const FoldConstants c = foldOver(8 * kStride);
  const __m256i k = _mm256_set_epi64x(c.low, c.high, c.low, c.high);
  // Separate variables rather than an array keep the accumulators in
  // registers; a spilled 256-bit value would need a 32-byte aligned stack.
  __m256i a0 = _mm256_xor_si256(loadWide(data),
                                _mm256_zextsi128_si256(_mm_cvtsi32_si128(static_cast<int>(reg))));
  __m256i a1 = loadWide(data + kWide);
  __m256i a2 = loadWide(data + 2 * kWide);
  __m256i a3 = loadWide(data + 3 * kWide);
  data += kStride;
  length -= kStride;
  for (; length >= kStride; data += kStride, length -= kStride) {
    a0 = foldWide(a0, k, loadWide(data));
    a1 = foldWide(a1, k, loadWide(data + kWide));
    a2 = foldWide(a2, k, loadWide(data + 2 * kWide));
    a3 = foldWide(a3, k, loadWide(data + 3 * kWide));
  }
  const __m128i k1 = foldConstants(foldOver(128));
  __m128i x = _mm256_castsi256_si128(a0);
  x = fold(x, k1, _mm256_extracti128_si256(a0, 1));
  x = fold(x, k1, _mm256_castsi256_si128(a1));
  x = fold(x, k1, _mm256_extracti128_si256(a1, 1));
  x = fold(x, k1, _mm256_castsi256_si128(a2));
  x = fold(x, k1, _mm256_extracti128_si256(a2, 1));
  x = fold(x, k1, _mm256_castsi256_si128(a3));
  x = fold(x, k1, _mm256_extracti128_si256(a3, 1));
  return finishFold(x, data, length);
}

}  // namespace extractor

#else

namespace extractor {

bool crc32VpclmulAvailable() {
  return false;
}
uint32_t crc32Vpclmul(uint32_t reg, const uint8_t* data, size_t length) {
  return crc32Slice8(reg, data, length);
}

}  // namespace extractor

#endif
