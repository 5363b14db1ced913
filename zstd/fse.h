// Finite State Entropy tables: the description that gives each symbol's
// share of the states, and the decoding table spread from it. A state
// names a symbol and how to reach the next state: base + the next `bits`
// bits of the stream.
#pragma once

#include <cstddef>
#include <cstdint>

namespace extractor::zstd {

struct FseCell {
  uint16_t base;
  uint8_t bits;
  uint8_t symbol;
};

constexpr unsigned kMaxFseSymbols = 64;

// Shares of symbols 0..symbols-1 over 2^log states; -1 is a share "less
// than one", which takes one state.
struct FseCounts {
  int16_t count[kMaxFseSymbols];
  unsigned symbols;
  unsigned log;
};

// Reads a table description from the start of p[0..size). Returns the
// bytes it takes, 0 when it is bad or names more than maxSymbol or maxLog.
size_t readFseCounts(const uint8_t* p, size_t size, unsigned maxSymbol, unsigned maxLog,
                     FseCounts& counts);

// Spreads the symbols over the 2^log cells. False when the spread does not
// come out even (only for counts not read by readFseCounts).
bool buildFseTable(const FseCounts& counts, FseCell* cells);

}  // namespace extractor::zstd
