// CRC-64 by folding eight 16-byte blocks at a time with PCLMULQDQ.
//
// As for CRC-32 (crc32_fold.h), a 16-byte block loaded little-endian holds
// X = H x^64 + L, H in the low lane, and moving it forward over d bits
// takes H times (x^(d+64) mod P) plus L times (x^d mod P). The remainders
// fill a whole 64-bit lane here, so with the product of reflected operands
// being the product times x, the constant for x^e is the remainder of
// x^(e-1).

#include "crypto/crc64_paths.h"

#if defined(__x86_64__) || defined(__i386__)

#include <immintrin.h>

#include "crypto/cpu_features.h"

namespace extractor {

namespace {

constexpr size_t kBlock = 16;
constexpr size_t kLanes = 8;  // blocks in flight, to hide the multiplier's latency
constexpr size_t kStride = kLanes * kBlock;

// x^n modulo the CRC polynomial, in reflected form.
constexpr uint64_t xPowMod(int n) {
  uint64_t v = uint64_t{1} << 63;
  for (int i = 0; i < n; i++) v = (v & 1) ? (v >> 1) ^ 0xC96C5795D7870F42ull : v >> 1;
  return v;
}

#define CRC64_TARGET __attribute__((target("pclmul,sse2")))

// Constants moving a block forward over bits: H's in the low lane, L's in
// the high one.
CRC64_TARGET __m128i foldOver(int bits) {
  return _mm_set_epi64x(static_cast<long long>(xPowMod(bits - 1)),
                        static_cast<long long>(xPowMod(bits + 64 - 1)));
}

CRC64_TARGET inline __m128i load(const uint8_t* p) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

CRC64_TARGET inline __m128i fold(__m128i x, __m128i k, __m128i next) {
  const __m128i h = _mm_clmulepi64_si128(x, k, 0x00);
  const __m128i l = _mm_clmulepi64_si128(x, k, 0x11);
  return _mm_xor_si128(_mm_xor_si128(h, l), next);
}

}  // namespace

bool crc64ClmulAvailable() {
  return cpuHasPclmul();
}

CRC64_TARGET uint64_t crc64Clmul(uint64_t reg, const uint8_t* data, size_t length) {
  // Below a few blocks the fixed cost of folding outweighs its speed.
  if (length < 2 * kStride) return crc64Slice8(reg, data, length);
  const __m128i k1 = foldOver(128);
  const __m128i kn = foldOver(8 * kStride);
  // The register enters as the first 64 message bits, added to them.
  __m128i acc[kLanes];
  acc[0] = _mm_xor_si128(load(data), _mm_cvtsi64_si128(static_cast<long long>(reg)));
  for (size_t i = 1; i < kLanes; i++) acc[i] = load(data + i * kBlock);
  data += kStride;
  length -= kStride;
  for (; length >= kStride; data += kStride, length -= kStride) {
    for (size_t i = 0; i < kLanes; i++) acc[i] = fold(acc[i], kn, load(data + i * kBlock));
  }
  __m128i x = acc[0];
  for (size_t i = 1; i < kLanes; i++) x = fold(x, k1, acc[i]);
  for (; length >= kBlock; data += kBlock, length -= kBlock) x = fold(x, k1, load(data));
  // X x^64 mod P is the register after X's sixteen bytes run from zero.
  uint8_t folded[kBlock];
  _mm_storeu_si128(reinterpret_cast<__m128i*>(folded), x);
  return crc64Slice8(crc64Slice8(0, folded, kBlock), data, length);
}

}  // namespace extractor

#else

namespace extractor {

bool crc64ClmulAvailable() {
  return false;
}
uint64_t crc64Clmul(uint64_t reg, const uint8_t* data, size_t length) {
  return crc64Slice8(reg, data, length);
}

}  // namespace extractor

#endif
