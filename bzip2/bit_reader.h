// The bzip2 decoder's view of the input: bits taken most significant
// first, never reading past the bytes the caller has buffered.
#pragma once

#include <cstdint>
#include <cstring>

namespace extractor::bzip2 {

inline uint64_t loadBigEndian64(const uint8_t* p) {
  uint64_t v;
  std::memcpy(&v, p, sizeof v);
#if !defined(__BYTE_ORDER__) || __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
  v = __builtin_bswap64(v);
#endif
  return v;
}

struct BitReader {
  const uint8_t* next = nullptr;  // first byte not yet in bits
  const uint8_t* end = nullptr;
  // Next bit highest. Bits below count may already hold the bytes from next
  // on; they are only ever overwritten with the same values.
  uint64_t bits = 0;
  unsigned count = 0;
  // A read went past the buffered input; the bits it returned were zeros.
  bool overrun = false;

  struct Mark {
    const uint8_t* next;
    uint64_t bits;
    unsigned count;
  };
  Mark mark() const { return {next, bits, count}; }
  void rewind(const Mark& m) {
    next = m.next;
    bits = m.bits;
    count = m.count;
    overrun = false;
  }

  // Fills bits to at least 56, or with all that is left.
  void refill() {
    if (end - next >= 8) {
      bits |= loadBigEndian64(next) >> count;
      next += (63 - count) >> 3;
      count |= 56;
      return;
    }
    while (count <= 56 && next < end) {
      bits |= uint64_t{*next++} << (56 - count);
      count += 8;
    }
  }

  uint32_t peek(unsigned n) const { return static_cast<uint32_t>(bits >> (64 - n)); }
  void skip(unsigned n) {
    bits <<= n;
    count -= n;
  }

  // n from 1 to 32.
  uint32_t take(unsigned n) {
    if (count < n) {
      refill();
      if (count < n) {
        overrun = true;
        bits &= count ? ~uint64_t{0} << (64 - count) : 0;
        count = n;
      }
    }
    uint32_t v = peek(n);
    skip(n);
    return v;
  }

  // Whole bytes in bits go back to the input, so that next is exact.
  void giveBackWholeBytes() {
    next -= count >> 3;
    count &= 7;
    bits &= count ? ~uint64_t{0} << (64 - count) : 0;
  }

  void alignToByte() { skip(count & 7); }
  // Bytes left, counting those already in bits.
  uint64_t bytesLeft() const { return static_cast<uint64_t>(end - next) + (count >> 3); }
};

}  // namespace extractor::bzip2
