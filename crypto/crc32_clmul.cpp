// CRC-32 by folding eight 16-byte blocks at a time with PCLMULQDQ; see
// crc32_fold.h for the arithmetic.

#include "crypto/crc32_paths.h"

#if defined(__x86_64__) || defined(__i386__)

#include "crypto/cpu_features.h"
#include "crypto/crc32_fold.h"

namespace extractor {

// Eight blocks in flight hide the multiplier's latency.
constexpr size_t kLanes = 8;
constexpr size_t kStride = kLanes * kFoldBlock;

bool crc32ClmulAvailable() {
  return cpuHasPclmul();
}

CRC_FOLD_TARGET uint32_t crc32Clmul(uint32_t reg, const uint8_t* data, size_t length) {
  // Below a few blocks the fixed cost of folding outweighs its speed.
  if (length < 4 * kFoldBlock) return crc32Slice8(reg, data, length);

  // The register enters as the first 32 message bits, added to them.
  __m128i x = _mm_xor_si128(loadBlock(data), _mm_cvtsi32_si128(static_cast<int>(reg)));
  if (length >= 2 * kStride) {
    const __m128i k1 = foldConstants(foldOver(128));
    const __m128i kn = foldConstants(foldOver(8 * kStride));
    __m128i acc[kLanes];
    acc[0] = x;
    for (size_t i = 1; i < kLanes; i++) acc[i] = loadBlock(data + i * kFoldBlock);
    data += kStride;
    length -= kStride;
    for (; length >= kStride; data += kStride, length -= kStride) {
      for (size_t i = 0; i < kLanes; i++)
        acc[i] = fold(acc[i], kn, loadBlock(data + i * kFoldBlock));
    }
    x = acc[0];
    for (size_t i = 1; i < kLanes; i++) x = fold(x, k1, acc[i]);
    return finishFold(x, data, length);
  }
  return finishFold(x, data + kFoldBlock, length - kFoldBlock);
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
