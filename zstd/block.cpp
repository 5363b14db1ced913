// The sequence tables' codes and predefined shares, and the block's two
// sections in order.
#include "zstd/block.h"

#include <cstring>
#include <initializer_list>

#include "zstd/bytes.h"
#include "zstd/fse.h"

namespace extractor::zstd {
namespace {

struct Code {
  uint32_t value;
  uint8_t extraBits;
};

// Literal lengths 0..15 are their own codes; then base and extra bits.
constexpr Code kLiteralLengthCodes[36 - 16] = {
    {16, 1},    {18, 1},    {20, 1},    {22, 1},     {24, 2},     {28, 2},    {32, 3},
    {40, 3},    {48, 4},    {64, 6},    {128, 7},    {256, 8},    {512, 9},   {1024, 10},
    {2048, 11}, {4096, 12}, {8192, 13}, {16384, 14}, {32768, 15}, {65536, 16}};
// Match lengths 3..34 are codes 0..31; then base and extra bits.
constexpr Code kMatchLengthCodes[53 - 32] = {
    {35, 1},    {37, 1},    {39, 1},    {41, 1},    {43, 2},     {47, 2},     {51, 3},
    {59, 3},    {67, 4},    {83, 4},    {99, 5},    {131, 7},    {259, 8},    {515, 9},
    {1027, 10}, {2051, 11}, {4099, 12}, {8195, 13}, {16387, 14}, {32771, 15}, {65539, 16}};

constexpr int16_t kLiteralLengthShares[36] = {4, 3, 2, 2, 2, 2, 2, 2, 2,  2,  2,  2,
                                              2, 1, 1, 1, 2, 2, 2, 2, 2,  2,  2,  2,
                                              2, 3, 2, 1, 1, 1, 1, 1, -1, -1, -1, -1};
constexpr int16_t kMatchLengthShares[53] = {
    1, 4, 3, 2, 2, 2, 2, 2, 2, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,  1,  1,  1,  1,  1,  1, 1,
    1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, -1, -1, -1, -1, -1, -1, -1};
constexpr int16_t kOffsetShares[29] = {1, 1, 1, 1, 1, 1, 2, 2, 2, 1,  1,  1,  1,  1, 1,
                                       1, 1, 1, 1, 1, 1, 1, 1, 1, -1, -1, -1, -1, -1};

// The largest code of each kind, and the largest accuracy of its tables.
constexpr unsigned kMaxSeqSymbol[3] = {35, 31, 52};
constexpr unsigned kMaxSeqTableLog[3] = {9, 8, 9};

SeqCell seqCell(int kind, unsigned symbol) {
  SeqCell c{};
  if (kind == 0) {
    c.value = symbol < 16 ? symbol : kLiteralLengthCodes[symbol - 16].value;
    c.extraBits = symbol < 16 ? 0 : kLiteralLengthCodes[symbol - 16].extraBits;
  } else if (kind == 1) {
    c.value = 1u << symbol;
    c.extraBits = static_cast<uint8_t>(symbol);
  } else {
    c.value = symbol < 32 ? symbol + 3 : kMatchLengthCodes[symbol - 32].value;
    c.extraBits = symbol < 32 ? 0 : kMatchLengthCodes[symbol - 32].extraBits;
  }
  return c;
}

void buildSeqTable(int kind, const FseCounts& counts, SeqCell* out) {
  FseCell cells[1u << kMaxSeqLog];
  buildFseTable(counts, cells);
  SeqCell codes[kMaxFseSymbols];
  for (unsigned s = 0; s < counts.symbols; ++s) codes[s] = seqCell(kind, s);
  for (unsigned i = 0; i < 1u << counts.log; ++i) {
    out[i] = codes[cells[i].symbol];
    out[i].base = cells[i].base;
    out[i].bits = cells[i].bits;
  }
}

}  // namespace

BlockDecoder::BlockDecoder() {
  const int16_t* shares[3] = {kLiteralLengthShares, kOffsetShares, kMatchLengthShares};
  const unsigned symbols[3] = {36, 29, 53};
  for (int kind = 0; kind < 3; ++kind) {
    FseCounts counts;
    counts.symbols = symbols[kind];
    counts.log = kind == kOffsets ? 5 : 6;
    for (unsigned s = 0; s < symbols[kind]; ++s) counts.count[s] = shares[kind][s];
    buildSeqTable(kind, counts, predefined_[kind]);
  }
  startFrame();
}

void BlockDecoder::startFrame() {
  for (SeqTable& t : tables_) t.ready = false;
  haveHuffman_ = false;
  recent_[0] = 1;
  recent_[1] = 4;
  recent_[2] = 8;
}

DecodeStatus BlockDecoder::decode(const uint8_t* src, size_t size, BlockOutput& to) {
  const uint8_t* p = src;
  const uint8_t* const end = src + size;
  DecodeStatus status = readLiterals(p, end);
  if (status != DecodeStatus::kDone) return status;
  // The count of sequences: 1, 2 or 3 bytes.
  if (p == end) return DecodeStatus::kDamaged;
  uint32_t count = *p++;
  if (count >= 128) {
    const size_t more = count == 255 ? 2 : 1;
    if (static_cast<size_t>(end - p) < more) return DecodeStatus::kDamaged;
    count = count == 255 ? load16(p) + 0x7F00 : ((count - 128) << 8) + p[0];
    p += more;
  }
  if (count == 0) {
    if (p != end) return DecodeStatus::kDamaged;
    return decodeSequences(p, end, 0, to);
  }
  if (p == end) return DecodeStatus::kDamaged;
  const unsigned modes = *p++;
  if (modes & 3) return DecodeStatus::kDamaged;  // reserved
  for (int kind : {kLiteralLengths, kOffsets, kMatchLengths}) {
    const unsigned mode = modes >> (6 - 2 * kind) & 3;
    status = readSeqTable(static_cast<Kind>(kind), mode, p, end);
    if (status != DecodeStatus::kDone) return status;
  }
  return decodeSequences(p, end, count, to);
}

DecodeStatus BlockDecoder::readSeqTable(Kind kind, unsigned mode, const uint8_t*& p,
                                        const uint8_t* end) {
  SeqTable& t = tables_[kind];
  switch (mode) {
    case 0:  // predefined
      t.log = kind == kOffsets ? 5 : 6;
      std::memcpy(t.cells, predefined_[kind], sizeof(SeqCell) << t.log);
      t.ready = true;
      return DecodeStatus::kDone;
    case 1:  // one code for every sequence
      if (p == end || *p > kMaxSeqSymbol[kind]) return DecodeStatus::kDamaged;
      t.cells[0] = seqCell(kind, *p++);
      t.ready = true;
      t.log = 0;
      return DecodeStatus::kDone;
    case 2: {
      FseCounts counts;
      const size_t used = readFseCounts(p, static_cast<size_t>(end - p), kMaxSeqSymbol[kind],
                                        kMaxSeqTableLog[kind], counts);
      if (used == 0) return DecodeStatus::kDamaged;
      p += used;
      buildSeqTable(kind, counts, t.cells);
      t.ready = true;
      t.log = counts.log;
      return DecodeStatus::kDone;
    }
    default:  // the previous block's; as a frame's first, a dictionary's
      return t.ready ? DecodeStatus::kDone : DecodeStatus::kUnsupported;
  }
}

}  // namespace extractor::zstd
