// Deflate (RFC 1951) and Deflate64 decoder driven step by step by the entry
// pipeline, which owns all buffers.
#pragma once

#include <cstdint>

#include "decode/decode_status.h"
#include "inflate/huffman_table.h"

namespace extractor {

constexpr int32_t kBlockHeaderNext = 8;

// Deflate64 (ZIP method 9) is deflate with a 64 KiB window: distance codes
// 30 and 31 are in use, and length symbol 285 takes 16 extra bits.
enum class InflateFormat : uint8_t { kDeflate, kDeflate64 };

// How far back a match of the format may reach.
constexpr uint32_t windowSize(InflateFormat format) {
  return format == InflateFormat::kDeflate64 ? 65536 : 32768;
}

// One entry's decoder state, kept by its pipeline between calls.
struct InflateState {
  uint32_t inPos = 0;   // index in input of the next byte not yet taken into bitBuffer
  uint32_t outPos = 0;  // index in outputArea of the next byte to write
  // kBlockHeaderNext, else 2 * BTYPE + BFINAL of the block being decoded (2..5).
  int32_t blockState = kBlockHeaderNext;
  InflateFormat format = InflateFormat::kDeflate;
  uint32_t bitBuffer = 0;  // the unread rest of the last loaded byte, next bit lowest
  uint8_t bitCount = 0;    // bits in bitBuffer, below 8 between calls
  // A block marked final has ended. Decoding goes on if asked to; a caller
  // that stops here takes what follows as no deflate data.
  bool finished = false;
  // Codes of the current dynamic block.
  LitLenTable litLen;
  DistTable dist;
};

// Fills lengthBase, lengthExtra, distBase, distExtra and the fixed block's
// decode tables; every call writes the same values.
void buildInflateTables();

// Room the caller leaves in outputArea beyond limit.
constexpr uint32_t kOutputRoom = 66560;

// Decodes from input[inPos..inputCount) into outputArea from outPos on,
// until a block ends, a stored block has been copied or the budget given by
// limit is used up. The windowSize(state.format) bytes in front of
// outputArea hold the entry's most recent output. Writes stay below outputArea + limit +
// kOutputRoom. When the input might run short the call ends before the symbol concerned, with the
// state as if it had stopped there. Returns kDamaged on a format error, kDone
// once a final block has ended, kOutputFull once the budget is used up, and
// kMoreInput otherwise: after a block's end, or where the input might run
// short (the caller tells the two apart by whether the call made progress).
DecodeStatus inflateStep(InflateState& state, const uint8_t* input, uint32_t inputCount,
                         uint8_t* outputArea, uint32_t limit);

}  // namespace extractor
