// The cipher with the AES instructions. AESDEC performs one round of the
// equivalent inverse cipher, so the decryption schedule serves any round count
// unchanged. Eight blocks go through each round together to keep the unit
// busy while one round's result is pending.

#include "crypto/aes_paths.h"

#if defined(__x86_64__) || defined(__i386__)

#include <immintrin.h>

#include "crypto/cpu_features.h"

namespace extractor {

constexpr int kParallel = 8;

bool aesNiAvailable() {
  return cpuHasAesNi();
}

#define AES_TARGET __attribute__((target("aes,sse2")))

AES_TARGET static inline __m128i load(const uint8_t* p) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

AES_TARGET static inline void store(uint8_t* p, __m128i v) {
  _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v);
}

AES_TARGET void decryptBlocksAesNi(const AesKey& key, const uint8_t* in, uint8_t* out,
                                   size_t blocks) {
  const int rounds = key.rounds;
  __m128i rk[15];
  for (int r = 0; r <= rounds; r++) rk[r] = load(key.roundKeyBytes + 16 * r);
  for (; blocks >= kParallel; blocks -= kParallel, in += 16 * kParallel, out += 16 * kParallel) {
    __m128i b[kParallel];
    for (int i = 0; i < kParallel; i++) b[i] = _mm_xor_si128(load(in + 16 * i), rk[0]);
    for (int r = 1; r < rounds; r++) {
      for (int i = 0; i < kParallel; i++) b[i] = _mm_aesdec_si128(b[i], rk[r]);
    }
    for (int i = 0; i < kParallel; i++) store(out + 16 * i, _mm_aesdeclast_si128(b[i], rk[rounds]));
  }
  for (; blocks > 0; blocks--, in += 16, out += 16) {
    __m128i b = _mm_xor_si128(load(in), rk[0]);
    for (int r = 1; r < rounds; r++) b = _mm_aesdec_si128(b, rk[r]);
    store(out, _mm_aesdeclast_si128(b, rk[rounds]));
  }
}

AES_TARGET void encryptBlocksAesNi(const AesKey& key, const uint8_t* in, uint8_t* out,
                                   size_t blocks) {
  const int rounds = key.rounds;
  __m128i rk[15];
  for (int r = 0; r <= rounds; r++) rk[r] = load(key.roundKeyBytes + 16 * r);
  for (; blocks >= kParallel; blocks -= kParallel, in += 16 * kParallel, out += 16 * kParallel) {
    __m128i b[kParallel];
    for (int i = 0; i < kParallel; i++) b[i] = _mm_xor_si128(load(in + 16 * i), rk[0]);
    for (int r = 1; r < rounds; r++) {
      for (int i = 0; i < kParallel; i++) b[i] = _mm_aesenc_si128(b[i], rk[r]);
    }
    for (int i = 0; i < kParallel; i++) store(out + 16 * i, _mm_aesenclast_si128(b[i], rk[rounds]));
  }
  for (; blocks > 0; blocks--, in += 16, out += 16) {
    __m128i b = _mm_xor_si128(load(in), rk[0]);
    for (int r = 1; r < rounds; r++) b = _mm_aesenc_si128(b, rk[r]);
    store(out, _mm_aesenclast_si128(b, rk[rounds]));
  }
}

// The counter blocks are independent, so eight go through each round
// together, as in the block functions above.
AES_TARGET void ctrXorAesNi(const AesKey& key, uint64_t counter, uint8_t* data, size_t blocks) {
  const int rounds = key.rounds;
  __m128i rk[15];
  for (int r = 0; r <= rounds; r++) rk[r] = load(key.roundKeyBytes + 16 * r);
  // The counter's low 64 bits, kept in a register and stepped by addition.
  __m128i next = _mm_set_epi64x(0, static_cast<long long>(counter));
  const __m128i one = _mm_set_epi64x(0, 1);
  for (; blocks >= kParallel; blocks -= kParallel, data += 16 * kParallel) {
    __m128i b[kParallel];
    for (int i = 0; i < kParallel; i++) {
      b[i] = _mm_xor_si128(next, rk[0]);
      next = _mm_add_epi64(next, one);
    }
    for (int r = 1; r < rounds; r++) {
      for (int i = 0; i < kParallel; i++) b[i] = _mm_aesenc_si128(b[i], rk[r]);
    }
    for (int i = 0; i < kParallel; i++) {
      __m128i stream = _mm_aesenclast_si128(b[i], rk[rounds]);
      store(data + 16 * i, _mm_xor_si128(load(data + 16 * i), stream));
    }
  }
  for (; blocks > 0; blocks--, data += 16) {
    __m128i b = _mm_xor_si128(next, rk[0]);
    next = _mm_add_epi64(next, one);
    for (int r = 1; r < rounds; r++) b = _mm_aesenc_si128(b, rk[r]);
    store(data, _mm_xor_si128(load(data), _mm_aesenclast_si128(b, rk[rounds])));
  }
}

}  // namespace extractor

#else

namespace extractor {

bool aesNiAvailable() {
  return false;
}

void decryptBlocksAesNi(const AesKey& key, const uint8_t* in, uint8_t* out, size_t blocks) {
  decryptBlocksTable(key, in, out, blocks);
}

void encryptBlocksAesNi(const AesKey& key, const uint8_t* in, uint8_t* out, size_t blocks) {
  encryptBlocksTable(key, in, out, blocks);
}

void ctrXorAesNi(const AesKey& key, uint64_t counter, uint8_t* data, size_t blocks) {
  ctrXorTable(key, counter, data, blocks);
}

}  // namespace extractor

#endif
