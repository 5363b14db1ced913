// Counter mode with VAES: each 256-bit register carries two counter blocks
// through a round in one instruction, twice what the 128-bit AES
// instructions do. Eight registers are in flight to cover the latency of a
// round.
//
// Left out of the Windows build: GCC there cannot align the stack for
// 256-bit values it might spill, and the 128-bit path serves.

#include "crypto/aes_paths.h"

#if (defined(__x86_64__) || defined(__i386__)) && !defined(_WIN32)

#include <immintrin.h>

#include "crypto/cpu_features.h"

namespace extractor {

bool ctrVaesAvailable() {
  return cpuHasVaesAvx2();
}

#define VAES_TARGET __attribute__((target("vaes,avx2,aes")))

VAES_TARGET void ctrXorVaes(const AesKey& key, uint64_t counter, uint8_t* data, size_t blocks) {
  constexpr int kRegisters = 8;
  constexpr size_t kStride = 2 * kRegisters;  // blocks per step
  const int rounds = key.rounds;
  __m256i rk[15];
  for (int r = 0; r <= rounds; r++) {
    rk[r] = _mm256_broadcastsi128_si256(
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(key.roundKeyBytes + 16 * r)));
  }
  __m256i next =
      _mm256_set_epi64x(0, static_cast<long long>(counter + 1), 0, static_cast<long long>(counter));
  const __m256i two = _mm256_set_epi64x(0, 2, 0, 2);
  for (; blocks >= kStride; blocks -= kStride, data += 16 * kStride) {
    __m256i b[kRegisters];
    for (int i = 0; i < kRegisters; i++) {
      b[i] = _mm256_xor_si256(next, rk[0]);
      next = _mm256_add_epi64(next, two);
    }
    for (int r = 1; r < rounds; r++) {
      for (int i = 0; i < kRegisters; i++) b[i] = _mm256_aesenc_epi128(b[i], rk[r]);
    }
    for (int i = 0; i < kRegisters; i++) {
      __m256i* p = reinterpret_cast<__m256i*>(data + 32 * i);
      __m256i stream = _mm256_aesenclast_epi128(b[i], rk[rounds]);
      _mm256_storeu_si256(p, _mm256_xor_si256(_mm256_loadu_si256(p), stream));
    }
  }
  // The rest through the 128-bit path, from the counter reached.
  if (blocks > 0) {
    ctrXorAesNi(key, static_cast<uint64_t>(_mm256_extract_epi64(next, 0)), data, blocks);
  }
}

}  // namespace extractor

#else

namespace extractor {

bool ctrVaesAvailable() {
  return false;
}

void ctrXorVaes(const AesKey& key, uint64_t counter, uint8_t* data, size_t blocks) {
  ctrXorAesNi(key, counter, data, blocks);
}

}  // namespace extractor

#endif
