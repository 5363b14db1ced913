// SHA-1 with the SHA extensions. A register holds four rounds' worth of
// state (A, B, C, D, A in the top lane) or of message words (the earliest
// in the top lane). SHA1RNDS4 runs four rounds, SHA1NEXTE derives the next
// E from the A of four rounds before and adds it to the message words, and
// SHA1MSG1/SHA1MSG2 with one XOR extend the message schedule four words at a
// time.

#include "crypto/sha1_paths.h"

#if defined(__x86_64__) || defined(__i386__)

#include <immintrin.h>

#include "crypto/cpu_features.h"

namespace extractor {

bool sha1ShaNiAvailable() {
  return cpuHasShaNi();
}

#define SHA_TARGET __attribute__((target("sha,ssse3,sse4.1")))

namespace {

// Five groups of four rounds with one round function; F is SHA1RNDS4's
// immediate, which must be a constant.
template <int F>
SHA_TARGET inline void fiveGroups(__m128i& abcd, __m128i& previous, __m128i& ew, __m128i w[4],
                                  int group) {
  for (int i = 0; i < 5; i++, group++) {
    if (group >= 4) {
      // W[t] = rotl1(W[t-3] ^ W[t-8] ^ W[t-14] ^ W[t-16]) for four t at once.
      __m128i x = _mm_sha1msg1_epu32(w[group & 3], w[(group + 1) & 3]);
      x = _mm_xor_si128(x, w[(group + 2) & 3]);
      w[group & 3] = _mm_sha1msg2_epu32(x, w[(group + 3) & 3]);
    }
    if (group > 0) ew = _mm_sha1nexte_epu32(previous, w[group & 3]);
    previous = abcd;
    abcd = _mm_sha1rnds4_epu32(abcd, ew, F);
  }
}

}  // namespace

SHA_TARGET void sha1BlocksShaNi(uint32_t state[5], const uint8_t* data, size_t blocks) {
  // Reverses the bytes of the register: big-endian words, the first on top.
  const __m128i reverse = _mm_set_epi8(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
  __m128i abcd = _mm_set_epi32(static_cast<int>(state[0]), static_cast<int>(state[1]),
                               static_cast<int>(state[2]), static_cast<int>(state[3]));
  __m128i e = _mm_set_epi32(static_cast<int>(state[4]), 0, 0, 0);
  for (; blocks > 0; blocks--, data += 64) {
    const __m128i abcdBefore = abcd;
    const __m128i eBefore = e;
    __m128i w[4];
    for (int i = 0; i < 4; i++) {
      w[i] = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(data + 16 * i)),
                              reverse);
    }
    __m128i ew = _mm_add_epi32(e, w[0]);
    __m128i previous = abcd;
    fiveGroups<0>(abcd, previous, ew, w, 0);
    fiveGroups<1>(abcd, previous, ew, w, 5);
    fiveGroups<2>(abcd, previous, ew, w, 10);
    fiveGroups<3>(abcd, previous, ew, w, 15);
    // E after the 80 rounds comes from the A of four rounds before the end.
    e = _mm_sha1nexte_epu32(previous, eBefore);
    abcd = _mm_add_epi32(abcd, abcdBefore);
  }
  state[0] = static_cast<uint32_t>(_mm_extract_epi32(abcd, 3));
  state[1] = static_cast<uint32_t>(_mm_extract_epi32(abcd, 2));
  state[2] = static_cast<uint32_t>(_mm_extract_epi32(abcd, 1));
  state[3] = static_cast<uint32_t>(_mm_extract_epi32(abcd, 0));
  state[4] = static_cast<uint32_t>(_mm_extract_epi32(e, 3));
}

}  // namespace extractor

#else

namespace extractor {

bool sha1ShaNiAvailable() {
  return false;
}

void sha1BlocksShaNi(uint32_t state[5], const uint8_t* data, size_t blocks) {
  sha1BlocksPortable(state, data, blocks);
}

}  // namespace extractor

#endif
