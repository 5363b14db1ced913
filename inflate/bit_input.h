// The decoder's view of the input: a 64-bit bit buffer over the bytes the
// caller has buffered, never reading past them.
#pragma once

#include <cstdint>
#include <cstring>

namespace extractor {

inline uint64_t loadLittleEndian64(const uint8_t* p) {
  uint64_t v;
  std::memcpy(&v, p, sizeof v);
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
  v = __builtin_bswap64(v);
#endif
  return v;
}

struct BitInput {
  const uint8_t* start;
  const uint8_t* next;  // first byte not yet in bits
  const uint8_t* end;
  // Next bit lowest. Bits above count may already hold the bytes from next
  // on; they are never trusted, only overwritten with the same values.
  uint64_t bits;
  unsigned count;

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
  }

  // The position a reader that takes bytes only when it needs their bits
  // would have: whole buffered bytes are not yet taken.
  uint32_t bytePosition() const { return static_cast<uint32_t>(next - start) - (count >> 3); }
  void giveBackWholeBytes() {
    next -= count >> 3;
    count &= 7;
    bits &= (uint64_t{1} << count) - 1;
  }

  // Needs 8 readable bytes at next and count below 64; leaves 56 or more bits.
  void refillFast() {
    bits |= loadLittleEndian64(next) << count;
    next += (63 - count) >> 3;
    count |= 56;
  }
  // Ensures n (at most 18) bits when the input has them; keeps count <= 56.
  bool need(unsigned n) {
    while (count < n && count <= 48 && next < end) {
      bits |= uint64_t{*next++} << count;
      count += 8;
    }
    return count >= n;
  }

  void consume(unsigned n) {
    bits >>= n;
    count -= n;
  }
  uint32_t take(unsigned n) {
    uint32_t v = static_cast<uint32_t>(bits & ((uint64_t{1} << n) - 1));
    consume(n);
    return v;
  }
};

}  // namespace extractor
