#include "zstd/huffman.h"

#include <algorithm>

#include "zstd/back_bits.h"
#include "zstd/bytes.h"
#include "zstd/fse.h"

namespace extractor::zstd {
namespace {

constexpr unsigned kMaxWeights = 255;  // the last symbol's weight is implied
constexpr unsigned kMaxWeightLog = 6;

// Two FSE states take turns over one stream; when a state's update runs
// past the stream's start, the other state's symbol is the last weight.
size_t readCodedWeights(const uint8_t* p, size_t size, uint8_t* weights) {
  FseCounts counts;
  const size_t head = readFseCounts(p, size, kMaxHuffmanBits + 1, kMaxWeightLog, counts);
  FseCell cells[1u << kMaxWeightLog];
  if (head == 0 || !buildFseTable(counts, cells)) return 0;
  BackBits bits;
  if (!bits.init(p + head, size - head)) return 0;
  unsigned state[2];
  state[0] = static_cast<unsigned>(bits.read(counts.log));
  state[1] = static_cast<unsigned>(bits.read(counts.log));
  bits.reload();
  size_t n = 0;
  for (unsigned turn = 0;; turn ^= 1) {
    if (n + 2 > kMaxWeights) return 0;
    const FseCell& cell = cells[state[turn]];
    weights[n++] = cell.symbol;
    state[turn] = cell.base + static_cast<unsigned>(bits.read(cell.bits));
    bits.reload();
    if (bits.overrun()) {
      weights[n++] = cells[state[turn ^ 1]].symbol;
      return n;
    }
  }
}

size_t readDirectWeights(const uint8_t* p, size_t size, uint8_t* weights) {
  const size_t n = p[0] - 127u;
  if (1 + (n + 1) / 2 > size) return 0;
  for (size_t i = 0; i < n; ++i) weights[i] = i % 2 ? p[1 + i / 2] & 15 : p[1 + i / 2] >> 4;
  return n;
}

// Symbols of lower weight (longer codes) take the lower table indices, in
// symbol order within a weight.
bool buildTable(uint8_t* weights, size_t n, HuffmanTable& table) {
  uint32_t total = 0;
  for (size_t i = 0; i < n; ++i) {
    if (weights[i] > kMaxHuffmanBits) return false;
    if (weights[i]) total += 1u << (weights[i] - 1);
  }
  if (total == 0) return false;
  const unsigned maxBits = highBit(total) + 1;
  if (maxBits > kMaxHuffmanBits) return false;
  const uint32_t rest = (1u << maxBits) - total;
  if (rest & (rest - 1)) return false;
  weights[n++] = static_cast<uint8_t>(highBit(rest) + 1);
  uint32_t start[kMaxHuffmanBits + 2] = {};
  for (size_t i = 0; i < n; ++i) {
    if (weights[i]) start[weights[i] + 1] += 1u << (weights[i] - 1);
  }
  for (unsigned w = 2; w <= maxBits + 1; ++w) start[w] += start[w - 1];
  // Each cell at maxBits spreads over 2^(kMaxHuffmanBits - maxBits).
  const unsigned spread = kMaxHuffmanBits - maxBits;
  for (size_t s = 0; s < n; ++s) {
    const unsigned w = weights[s];
    if (w == 0) continue;
    const uint16_t cell = static_cast<uint16_t>(s << 8 | (maxBits + 1 - w));
    uint16_t* const to = table.cells + (start[w] << spread);
    const uint32_t count = 1u << (w - 1 + spread);
    start[w] += 1u << (w - 1);
    for (uint32_t i = 0; i < count; ++i) to[i] = cell;
  }
  return true;
}

// The table's cells held apart from the table: stores of symbols could
// otherwise be its writes.
struct Lookup {
  const uint16_t* cells;
  explicit Lookup(const HuffmanTable& t) : cells(t.cells) {}

  // After a fast reload, fewer than 64 bits are used: no mask needed.
  void decode(BackBits& bits, uint8_t*& out) const {
    const unsigned cell = cells[(bits.word << bits.used) >> (64 - kMaxHuffmanBits)];
    *out++ = static_cast<uint8_t>(cell >> 8);
    bits.used += cell & 0xFF;
  }
};

// Rounds of 5 symbols that stay clear of the stream's first 8 bytes: a
// round takes at most 55 bits, so moves back at most 7 bytes.
inline size_t fastRounds(const BackBits& bits) {
  const size_t ahead = static_cast<size_t>(bits.ptr - bits.start);
  return ahead < 8 ? 0 : (ahead - 8) / 7 + 1;
}

inline void decodeOne(const HuffmanTable& t, BackBits& bits, uint8_t*& out) {
  const unsigned cell = t.cells[bits.peekTop(kMaxHuffmanBits)];
  *out++ = static_cast<uint8_t>(cell >> 8);
  bits.used += cell & 0xFF;
}

// The stream's last symbols, checked one by one; then every bit must be
// used.
bool decodeTail(const HuffmanTable& t, BackBits& bits, uint8_t* out, uint8_t* end) {
  while (out < end) {
    bits.reload();
    if (bits.used >= 64) return false;
    decodeOne(t, bits, out);
  }
  bits.reload();
  return bits.exhausted();
}

}  // namespace

size_t readHuffmanTable(const uint8_t* p, size_t size, HuffmanTable& table) {
  if (size == 0) return 0;
  uint8_t weights[kMaxWeights + 1];
  size_t n, used;
  if (p[0] < 128) {
    used = 1 + size_t{p[0]};
    if (used > size) return 0;
    n = readCodedWeights(p + 1, p[0], weights);
  } else {
    n = readDirectWeights(p, size, weights);
    used = 1 + (n + 1) / 2;
  }
  if (n == 0 || !buildTable(weights, n, table)) return 0;
  return used;
}

bool decodeHuffman1(const HuffmanTable& t, const uint8_t* src, size_t size, uint8_t* out,
                    size_t count) {
  BackBits bits;
  if (!bits.init(src, size)) return false;
  uint8_t* const end = out + count;
  // 5 symbols of at most 11 bits fit the 57 a reload leaves.
  // The bound on rounds assumes the longest codes: counted again until
  // none is left.
  const Lookup lookup(t);
  while (size_t rounds = std::min(fastRounds(bits), static_cast<size_t>(end - out) / 5)) {
    for (; rounds > 0; --rounds) {
      bits.reloadFast();
      for (int i = 0; i < 5; ++i) lookup.decode(bits, out);
    }
  }
  return decodeTail(t, bits, out, end);
}

namespace {

// The four streams' fast rounds keep, per stream, only the bit position
// (from `src`) below which its unread bits lie and a word whose top bit is
// the next unread one: a symbol shifts the word by its length, and the
// streams share one output pointer, so that the state of all four fits in
// registers.
struct FourStreams {
  const uint8_t* src;
  uint64_t word[4];
  size_t pos[4];

  // The word holding the bits below pos[i] at its top; the 8 bytes below
  // (pos[i] + 7) / 8 lie within the stream.
  void reload(int i) {
    const size_t byteEnd = (pos[i] + 7) >> 3;
    word[i] = load64(src + byteEnd - 8) << ((0 - pos[i]) & 7);
  }
  void decode(const uint16_t* cells, int i, uint8_t* to) {
    const unsigned cell = cells[word[i] >> (64 - kMaxHuffmanBits)];
    *to = static_cast<uint8_t>(cell >> 8);
    // A shift takes only the count's low 6 bits: the length needs no
    // extracting on the way from the table to the next lookup.
    word[i] <<= cell & 63;
    pos[i] -= cell & 0xFF;
  }
  // Rounds of 5 symbols (55 bits at most, 7 bytes back) whose reloads stay
  // within stream i, which starts at src + begin.
  size_t rounds(int i, size_t begin) const {
    const size_t byteEnd = (pos[i] + 7) >> 3;
    return byteEnd < begin + 8 ? 0 : (byteEnd - begin - 8) / 7 + 1;
  }
};

}  // namespace

bool decodeHuffman4(const HuffmanTable& t, const uint8_t* src, size_t size, uint8_t* out,
                    size_t count) {
  if (size < 10) return false;
  size_t sizes[4] = {load16(src), load16(src + 2), load16(src + 4), 0};
  const size_t firstThree = sizes[0] + sizes[1] + sizes[2];
  if (firstThree > size - 6) return false;
  sizes[3] = size - 6 - firstThree;
  const size_t segment = (count + 3) / 4;
  if (3 * segment > count) return false;
  BackBits b[4];
  size_t begin[4];
  FourStreams f;
  f.src = src;
  for (int i = 0; i < 4; ++i) {
    begin[i] = i == 0 ? 6 : begin[i - 1] + sizes[i - 1];
    if (!b[i].init(src + begin[i], sizes[i])) return false;
    // Also right for a stream shorter than a word, whose missing top bytes
    // count as used.
    f.pos[i] = static_cast<size_t>(b[i].ptr - src) * 8 + 64 - b[i].used;
  }
  // The last segment is the shortest: while it has room, all have.
  size_t done = 0;
  const size_t last = count - 3 * segment;
  for (;;) {
    size_t rounds = (last - done) / 5;
    for (int i = 0; i < 4; ++i) rounds = std::min(rounds, f.rounds(i, begin[i]));
    if (rounds == 0) break;
    uint8_t* op = out + done;
    done += 5 * rounds;
    for (; rounds > 0; --rounds, op += 5) {
      for (int i = 0; i < 4; ++i) f.reload(i);
      for (int k = 0; k < 5; ++k) {
        f.decode(t.cells, 0, op + k);
        f.decode(t.cells, 1, op + segment + k);
        f.decode(t.cells, 2, op + 2 * segment + k);
        f.decode(t.cells, 3, op + 3 * segment + k);
      }
    }
  }
  for (int i = 0; i < 4; ++i) {
    if (done > 0) {
      // Back to the reader's form, as a reload leaves it.
      const size_t byteEnd = (f.pos[i] + 7) >> 3;
      if (byteEnd >= begin[i] + 8) {
        b[i].ptr = src + byteEnd - 8;
        b[i].used = (0 - static_cast<unsigned>(f.pos[i])) & 7;
      } else {
        b[i].ptr = src + begin[i];
        b[i].used = static_cast<unsigned>(64 - (f.pos[i] - 8 * begin[i]));
      }
      b[i].word = load64(b[i].ptr);
    }
    uint8_t* const from = out + segment * i + done;
    uint8_t* const end = i < 3 ? out + segment * (i + 1) : out + count;
    if (!decodeTail(t, b[i], from, end)) return false;
  }
  return true;
}

}  // namespace extractor::zstd
