// The probabilities of the LZMA model, all starting at one half.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "lzma/range_decoder.h"

namespace extractor::lzma {

constexpr unsigned kStates = 12;
constexpr unsigned kMaxPosStates = 16;
constexpr unsigned kLengthStates = 4;  // match lengths 2, 3, 4 and longer
constexpr unsigned kFirstDirectSlot = 14;
constexpr unsigned kSpecialDistances = 115;  // distances 4..127, as bit trees per slot
constexpr unsigned kLiteralCoderSize = 0x300;
constexpr uint32_t kEndMarkerDistance = 0xFFFFFFFF;
constexpr unsigned kMinMatch = 2;

struct LengthModel {
  Probability choice;
  Probability choice2;
  Probability low[kMaxPosStates][8];
  Probability mid[kMaxPosStates][8];
  Probability high[256];
};

struct ModelTables {
  Probability isMatch[kStates * kMaxPosStates];
  Probability isRep[kStates];
  Probability isRepG0[kStates];
  Probability isRepG1[kStates];
  Probability isRepG2[kStates];
  Probability isRep0Long[kStates * kMaxPosStates];
  Probability distanceSlot[kLengthStates][64];
  Probability special[kSpecialDistances];
  Probability align[16];
  LengthModel matchLength;
  LengthModel repLength;
};

struct Model {
  ModelTables tables;
  std::unique_ptr<Probability[]> literals;  // 0x300 per literal coder
  size_t literalCount = 0;
};

}  // namespace extractor::lzma
