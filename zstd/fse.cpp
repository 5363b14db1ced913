#include "zstd/fse.h"

#include "zstd/bytes.h"

namespace extractor::zstd {
namespace {

// Reads a description's bits forwards, least significant first; past the
// end it reads zeros, and the caller checks how far it read.
struct ForwardBits {
  const uint8_t* p;
  size_t size;
  size_t pos = 0;  // in bits

  uint32_t peek(unsigned n) const {
    uint64_t v = 0;
    const size_t first = pos >> 3;
    if (first + 8 <= size) {
      v = load64(p + first);
    } else {
      for (size_t i = 0; first + i < size; ++i) v |= uint64_t{p[first + i]} << (8 * i);
    }
    return static_cast<uint32_t>(v >> (pos & 7)) & ((1u << n) - 1);
  }
  uint32_t read(unsigned n) {
    const uint32_t v = peek(n);
    pos += n;
    return v;
  }
};

}  // namespace

size_t readFseCounts(const uint8_t* p, size_t size, unsigned maxSymbol, unsigned maxLog,
                     FseCounts& counts) {
  if (size == 0) return 0;
  ForwardBits bits{p, size};
  counts.log = bits.read(4) + 5;
  if (counts.log > maxLog) return 0;
  int remaining = (1 << counts.log) + 1;
  int threshold = 1 << counts.log;
  unsigned width = counts.log + 1;
  unsigned s = 0;
  while (remaining > 1) {
    if (s > maxSymbol) return 0;
    // Values below `small` take one bit less than the others.
    const int small = 2 * threshold - 1 - remaining;
    int value = static_cast<int>(bits.peek(width - 1));
    if (value < small) {
      bits.pos += width - 1;
    } else {
      value = static_cast<int>(bits.read(width));
      if (value >= threshold) value -= small;
    }
    const int count = value - 1;
    counts.count[s++] = static_cast<int16_t>(count);
    remaining -= count < 0 ? -count : count;
    if (remaining < 1) return 0;
    if (count == 0) {
      // Runs of zero shares: 2-bit repeat counts, 3 meaning "and more".
      for (unsigned repeat = 3; repeat == 3;) {
        repeat = bits.read(2);
        for (unsigned i = 0; i < repeat; ++i) {
          if (s > maxSymbol) return 0;
          counts.count[s++] = 0;
        }
      }
    }
    while (remaining < threshold) {
      --width;
      threshold >>= 1;
    }
  }
  const size_t bytes = (bits.pos + 7) >> 3;
  if (remaining != 1 || bytes > size) return 0;
  counts.symbols = s;
  return bytes;
}

bool buildFseTable(const FseCounts& counts, FseCell* cells) {
  const unsigned size = 1u << counts.log;
  unsigned high = size - 1;  // "less than one" symbols fill from the top
  uint16_t next[kMaxFseSymbols];
  for (unsigned s = 0; s < counts.symbols; ++s) {
    if (counts.count[s] == -1) {
      cells[high--].symbol = static_cast<uint8_t>(s);
      next[s] = 1;
    } else {
      next[s] = static_cast<uint16_t>(counts.count[s]);
    }
  }
  const unsigned step = (size >> 1) + (size >> 3) + 3;
  unsigned pos = 0;
  for (unsigned s = 0; s < counts.symbols; ++s) {
    for (int i = 0; i < counts.count[s]; ++i) {
      cells[pos].symbol = static_cast<uint8_t>(s);
      do {
        pos = (pos + step) & (size - 1);
      } while (pos > high);
    }
  }
  if (pos != 0) return false;
  for (unsigned state = 0; state < size; ++state) {
    const unsigned x = next[cells[state].symbol]++;
    const unsigned bits = counts.log - highBit(x);
    cells[state].bits = static_cast<uint8_t>(bits);
    cells[state].base = static_cast<uint16_t>((x << bits) - size);
  }
  return true;
}

}  // namespace extractor::zstd
