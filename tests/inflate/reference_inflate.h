// A plain bit-by-bit inflate that follows the decoder's description step
// by step: tree walks, bits read one byte at a time. The tests hold the
// table-driven decoder to it.
#pragma once

#include <cstdint>

#include "engine/zip_error.h"
#include "inflate/inflate.h"

namespace extractor::reference {

struct HuffmanNode {
  uint16_t symbol;  // 0x8000 in an inner node
  uint8_t depth;    // 0 in a node not in use, except the root
  uint16_t oneChild;
};

// Enough nodes for any code set that is not over-subscribed: at most
// min(2^d, codes) nodes at each depth d up to 15.
constexpr unsigned kLitLenNodes = 2560;
constexpr unsigned kDistNodes = 384;
constexpr unsigned kCodeLengthNodes = 96;

// What a decoder has met, for tests that must know their streams cover it.
struct Coverage {
  unsigned blocks[3] = {};  // by block type: stored, fixed, dynamic
  uint32_t farthestDistance = 0;
  unsigned longestLength = 0;
};

struct State {
  uint32_t inPos = 0;
  uint32_t outPos = 0;
  int32_t blockState = 8;
  uint32_t bitBuffer = 0;
  uint8_t bitCount = 0;
  InflateFormat format = InflateFormat::kDeflate;
  Coverage seen;
  HuffmanNode litLenTree[kLitLenNodes];
  HuffmanNode distTree[kDistNodes];
};

// The base values and extra bits, built here from their rules, and the
// last distance code the format accepts.
struct CodeTables {
  uint32_t lengthBase[288];
  uint32_t lengthExtra[288];
  uint32_t distBase[32];
  uint32_t distExtra[32];
  unsigned lastDistanceCode;
};
const CodeTables& codeTables(InflateFormat format = InflateFormat::kDeflate);

// Same contract as extractor::inflateStep.
ZipError inflateStep(State& state, const uint8_t* input, uint32_t inputCount, uint8_t* outputArea,
                     uint32_t limit);

}  // namespace extractor::reference
