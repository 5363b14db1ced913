// What the parts of one inflateStep call share.
#pragma once

#include <cstdint>

#include "inflate/bit_input.h"

namespace extractor {

enum class Outcome {
  kContinue,  // go on with the next symbol
  kBlockEnd,  // the block is done; the call returns
  kStop,      // budget used up or input short; the call returns, state as before the unit
  kError,     // format error
};

constexpr uint32_t kMaxMatchLength = 258;

struct StepContext {
  BitInput in;
  uint8_t* output;  // the output area; history in front of it
  uint8_t* out;     // next byte to write
  uint32_t limit;
  uint64_t room;  // output bytes may be written below output + room
  // No more input follows what is buffered, so the fixed block's input
  // budget does not apply.
  bool inputComplete;
  // Deflate64: its tables hold the long length entry and distance codes 30
  // and 31, which the walk then accepts too.
  bool deflate64;

  uint32_t outPos() const { return static_cast<uint32_t>(out - output); }
};

}  // namespace extractor
