// CRC-32 by folding 128-bit blocks with carry-less multiplication.
//
// In the reflected bit order of this CRC a 16-byte block loaded little-endian
// holds a polynomial X of degree < 128 whose low 64-bit lane carries the high
// coefficients H and whose high lane carries the low ones L: X = H x^64 + L.
// Moving X forward over d more bits means X x^d = H x^(d+64) + L x^d, and each
// x^e can be replaced by its remainder modulo the CRC polynomial, a 32-bit
// constant. Multiplying reflected operands yields the product times x, and a
// constant placed in the low half of a lane stands for itself times x^32, so
// the constant for x^e is the remainder of x^(e-33).

#include "crypto/crc32_paths.h"

#if defined(__x86_64__) || defined(__i386__)

#include <immintrin.h>

#include <cstring>

#include "crypto/cpu_features.h"

namespace extractor {

// x^n modulo the CRC polynomial, in reflected 32-bit form.
static constexpr uint32_t xPowMod(int n) {
  uint32_t v = 0x80000000u;
  for (int i = 0; i < n; i++) v = (v & 1) ? (v >> 1) ^ 0xEDB88320u : v >> 1;
  return v;
}

// Eight blocks in flight hide the multiplier's latency.
constexpr int kLanes = 8;
constexpr int kBlock = 16;

struct FoldConstants {
  uint64_t high, low;  // for H (low lane) and L (high lane)
};

static constexpr FoldConstants foldOver(int bits) {
  return {xPowMod(bits + 64 - 33), xPowMod(bits - 33)};
}

constexpr FoldConstants kFold1 = foldOver(128);
constexpr FoldConstants kFoldLanes = foldOver(128 * kLanes);

__attribute__((target("pclmul,sse2"))) static inline __m128i fold(__m128i x, __m128i k,
                                                                  __m128i next) {
  __m128i h = _mm_clmulepi64_si128(x, k, 0x00);
  __m128i l = _mm_clmulepi64_si128(x, k, 0x11);
  return _mm_xor_si128(_mm_xor_si128(h, l), next);
}

__attribute__((target("sse2"))) static inline __m128i load(const uint8_t* p) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

bool crc32ClmulAvailable() {
  return cpuHasPclmul();
}

__attribute__((target("pclmul,sse2"))) uint32_t crc32Clmul(uint32_t reg, const uint8_t* data,
                                                           size_t length) {
  // Below a few blocks the fixed cost of folding outweighs its speed.
  if (length < 4 * kBlock) return crc32Slice8(reg, data, length);

  const __m128i k1 = _mm_set_epi64x(kFold1.low, kFold1.high);
  // The register enters as the first 32 message bits, added to them.
  __m128i x = _mm_xor_si128(load(data), _mm_cvtsi32_si128(static_cast<int>(reg)));
  data += kBlock;
  length -= kBlock;

  if (length >= (kLanes - 1) * kBlock + kLanes * kBlock) {
    const __m128i kn = _mm_set_epi64x(kFoldLanes.low, kFoldLanes.high);
    __m128i acc[kLanes];
    acc[0] = x;
    for (int i = 1; i < kLanes; i++) acc[i] = load(data + (i - 1) * kBlock);
    data += (kLanes - 1) * kBlock;
    length -= (kLanes - 1) * kBlock;
    for (; length >= kLanes * kBlock; data += kLanes * kBlock, length -= kLanes * kBlock) {
      for (int i = 0; i < kLanes; i++) acc[i] = fold(acc[i], kn, load(data + i * kBlock));
    }
    x = acc[0];
    for (int i = 1; i < kLanes; i++) x = fold(x, k1, acc[i]);
  }
  for (; length >= kBlock; data += kBlock, length -= kBlock) x = fold(x, k1, load(data));

  // X x^32 mod P is the CRC register of X's sixteen bytes run from zero.
  uint8_t folded[kBlock];
  _mm_storeu_si128(reinterpret_cast<__m128i*>(folded), x);
  reg = crc32Slice8(0, folded, kBlock);
  return crc32Slice8(reg, data, length);
}

}  // namespace extractor

#else

namespace extractor {

bool crc32ClmulAvailable() {
  return false;
}
uint32_t crc32Clmul(uint32_t reg, const uint8_t* data, size_t length) {
  return crc32Slice8(reg, data, length);
}

}  // namespace extractor

#endif
