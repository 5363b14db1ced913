// The shape every stream decoder of the entry pipeline has: it keeps state
// of its own between calls, may produce output from input it has already
// consumed, and can stop at any byte of input and of output.
#pragma once

#include <cstdint>

#include "decode/decode_status.h"

namespace extractor {

// What a decoder may need to know of the entry it starts.
struct StreamStart {
  uint64_t uncompressedSize = 0;  // from the directory; caps windows and dictionaries
  uint16_t flags = 0;             // the entry's general purpose flags
};

class StreamDecoder {
 public:
  virtual ~StreamDecoder() = default;

  // Back to the start of an entry. Memory kept from earlier entries may be
  // reused.
  virtual void reset(const StreamStart& start) = 0;

  // Decodes input[inPos..inputCount) into output[outPos..outputLimit) and
  // advances both positions. inputComplete says no more input will follow;
  // until then a call stops where the input might run short.
  virtual DecodeStatus step(const uint8_t* input, uint32_t inputCount, bool inputComplete,
                            uint32_t& inPos, uint8_t* output, uint32_t outputLimit,
                            uint32_t& outPos) = 0;

  // Output is due that needs no more input.
  virtual bool hasOutput() const = 0;
  // The stream has ended properly.
  virtual bool finished() const = 0;
};

}  // namespace extractor
