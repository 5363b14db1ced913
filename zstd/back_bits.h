// The backward bit stream of Huffman literals, FSE-coded weights and
// sequences: written forwards, read from the last byte towards the first,
// most significant bits first. The last byte's highest set bit marks where
// the data begin. Bits are held in a 64-bit word loaded from memory;
// `used` counts the bits already taken from its top.
#pragma once

#include <cstddef>
#include <cstdint>

#include "zstd/bytes.h"

namespace extractor::zstd {

struct BackBits {
  const uint8_t* start = nullptr;
  const uint8_t* ptr = nullptr;  // where `word` was loaded
  uint64_t word = 0;
  unsigned used = 0;

  // False for an empty stream or one without its end mark.
  bool init(const uint8_t* begin, size_t size) {
    if (size == 0 || begin[size - 1] == 0) return false;
    start = begin;
    if (size >= 8) {
      ptr = begin + size - 8;
      word = load64(ptr);
      used = 0;
    } else {
      // A short stream sits in the low bytes; the empty top counts as read.
      ptr = begin;
      word = 0;
      for (size_t i = 0; i < size; ++i) word |= uint64_t{begin[i]} << (8 * i);
      used = static_cast<unsigned>(8 - size) * 8;
    }
    used += 8 - highBit(begin[size - 1]);
    return true;
  }

  // The next n bits (n <= 56 after a reload), without taking them. Past the
  // stream's start the word yields zeros or, once overrun, anything: the
  // callers check `overrun()` when done.
  uint64_t peek(unsigned n) const { return ((word << (used & 63)) >> 1) >> (63 - n); }
  uint64_t read(unsigned n) {
    const uint64_t v = peek(n);
    used += n;
    return v;
  }
  // Top `n` bits for table lookups, n >= 1.
  unsigned peekTop(unsigned n) const {
    return static_cast<unsigned>((word << (used & 63)) >> (64 - n));
  }

  // At least 8 bytes lie below ptr, so a reload needs no checks.
  bool fast() const { return ptr - start >= 8; }
  void reloadFast() {
    ptr -= used >> 3;
    used &= 7;
    word = load64(ptr);
  }
  // Refills the word so that at least 57 bits are unread, or as many as
  // are left.
  void reload() {
    if (fast()) {
      reloadFast();
    } else if (ptr != start && used <= 64) {
      size_t back = used >> 3;
      if (back > static_cast<size_t>(ptr - start)) back = static_cast<size_t>(ptr - start);
      ptr -= back;
      used -= static_cast<unsigned>(back) * 8;
      word = load64(ptr);
    }
  }

  bool overrun() const { return used > 64; }
  // Every bit taken, none invented.
  bool exhausted() const { return ptr == start && used == 64; }
};

}  // namespace extractor::zstd
