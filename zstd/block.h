// One compressed block: the literals section, then the sequences that
// interleave literal runs with matches from the frame's history. What a
// block may repeat from its predecessors in the frame (the Huffman table,
// the three sequence tables, the three recent offsets) is kept here.
#pragma once

#include <cstddef>
#include <cstdint>

#include "decode/decode_status.h"
#include "zstd/huffman.h"

namespace extractor::zstd {

constexpr size_t kBlockMax = 128 << 10;
// Bytes an output area must have writable past its limit, and the literals
// readable past their end: literals and matches are copied in 16-byte
// pieces, short runs of either in two.
constexpr size_t kCopySlack = 64;

// A sequence table cell: the FSE transition and the code's value (a
// length's base, an offset's 2^code) with its count of extra bits.
struct SeqCell {
  uint16_t base;
  uint8_t bits;
  uint8_t extraBits;
  uint32_t value;
};

constexpr unsigned kMaxSeqLog = 9;

// The cells sit in the table itself, the predefined ones copied in: the
// sequence loop reaches all three from one pointer.
struct SeqTable {
  bool ready = false;  // none yet in this frame
  unsigned log = 0;
  SeqCell cells[1u << kMaxSeqLog];
};

// Where a block's output goes: from `out` up to `limit` (with kCopySlack
// writable beyond), matches reaching back no further than `history`.
struct BlockOutput {
  uint8_t* out;
  uint8_t* limit;
  const uint8_t* history;
  bool historyIsFrameStart;  // nothing of the frame lies before `history`
};

class BlockDecoder {
 public:
  BlockDecoder();

  // A new frame repeats nothing of the last.
  void startFrame();

  // Decodes the block in src[0..size); on success advances `to.out`.
  // kDone, or why it failed.
  DecodeStatus decode(const uint8_t* src, size_t size, BlockOutput& to);

 private:
  enum Kind { kLiteralLengths, kOffsets, kMatchLengths };

  DecodeStatus readLiterals(const uint8_t*& p, const uint8_t* end);
  DecodeStatus readSeqTable(Kind kind, unsigned mode, const uint8_t*& p, const uint8_t* end);
  DecodeStatus decodeSequences(const uint8_t* p, const uint8_t* end, uint32_t count,
                               BlockOutput& to);

  SeqTable tables_[3];
  SeqCell predefined_[3][1u << 6];
  uint32_t recent_[3];
  HuffmanTable huffman_;
  bool haveHuffman_ = false;
  size_t literalCount_ = 0;
  uint8_t literals_[kBlockMax + kCopySlack];
};

}  // namespace extractor::zstd
