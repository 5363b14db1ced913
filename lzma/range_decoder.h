// The LZMA range decoder: adaptive bits with 11-bit probabilities that move
// by a 32nd of the distance to certainty, and direct bits of probability
// one half. The caller guarantees the input bytes the bits normalise in.
#pragma once

#include <cstdint>

namespace extractor::lzma {

using Probability = uint16_t;

constexpr unsigned kProbabilityBits = 11;
constexpr Probability kProbabilityHalf = 1u << (kProbabilityBits - 1);
constexpr unsigned kMoveBits = 5;
constexpr uint32_t kTopValue = 1u << 24;

struct RangeDecoder {
  uint32_t range;
  uint32_t code;
  const uint8_t* in;

  void normalize() {
    if (range < kTopValue) {
      range <<= 8;
      code = code << 8 | *in++;
    }
  }

  unsigned bit(Probability& p) {
    normalize();
    const uint32_t bound = (range >> kProbabilityBits) * p;
    if (code < bound) {
      range = bound;
      p = static_cast<Probability>(p + (((1u << kProbabilityBits) - p) >> kMoveBits));
      return 0;
    }
    range -= bound;
    code -= bound;
    p = static_cast<Probability>(p - (p >> kMoveBits));
    return 1;
  }

  // One step down a bit tree: the bit at probs[m], whose probability p
  // holds. Both children's probabilities are loaded before the bit is
  // known, which takes the load off the path from one bit to the next; the
  // caller makes sure the children exist.
  unsigned descend(Probability* probs, unsigned m, unsigned& p) {
    normalize();
    const uint32_t bound = (range >> kProbabilityBits) * p;
    const unsigned zero = probs[2 * m];
    const unsigned one = probs[2 * m + 1];
    if (code < bound) {
      range = bound;
      probs[m] = static_cast<Probability>(p + (((1u << kProbabilityBits) - p) >> kMoveBits));
      p = zero;
      return 2 * m;
    }
    range -= bound;
    code -= bound;
    probs[m] = static_cast<Probability>(p - (p >> kMoveBits));
    p = one;
    return 2 * m + 1;
  }

  // A symbol of n bits, most significant first, from a tree of 2^n - 1
  // probabilities at probs[1..].
  unsigned tree(Probability* probs, unsigned n) {
    unsigned m = 1;
    unsigned p = probs[1];
#pragma GCC unroll 8
    for (unsigned i = 1; i < n; ++i) m = descend(probs, m, p);
    m = m << 1 | bit(probs[m]);
    return m - (1u << n);
  }

  // As tree, least significant bit first.
  unsigned reverseTree(Probability* probs, unsigned n) {
    unsigned m = 1;
    unsigned p = probs[1];
    unsigned symbol = 0;
#pragma GCC unroll 4
    for (unsigned i = 0; i + 1 < n; ++i) {
      m = descend(probs, m, p);
      symbol |= (m & 1) << i;
    }
    return symbol | bit(probs[m]) << (n - 1);
  }

  uint32_t direct(unsigned n) {
    uint32_t result = 0;
    for (unsigned i = 0; i < n; ++i) {
      normalize();
      range >>= 1;
      // All ones when code is below range, then the bit is 0.
      const uint32_t below = 0u - ((code - range) >> 31);
      code -= range & ~below;
      result = result << 1 | (below + 1);
    }
    return result;
  }
};

}  // namespace extractor::lzma
