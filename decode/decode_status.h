// What one step of a stream decoder reports. The decoders stand below the
// engine: they know nothing of its error codes, and the entry pipeline turns
// these into them (kDamaged and kUnsupported into "not a compliant zip
// file", kOutOfMemory likewise unless it is told apart).
#pragma once

#include <cstdint>

namespace extractor {

enum class DecodeStatus : uint8_t {
  kMoreInput,    // stopped where the input ran short (or might, before inputComplete)
  kOutputFull,   // stopped where the output area was full
  kDone,         // the stream has ended; nothing more will be produced
  kDamaged,      // bad or (with inputComplete) cut data
  kUnsupported,  // valid data using a feature this decoder does not read
  kOutOfMemory,  // the memory the data ask for cannot be had
};

inline bool decodeFailed(DecodeStatus status) {
  return status == DecodeStatus::kDamaged || status == DecodeStatus::kUnsupported ||
         status == DecodeStatus::kOutOfMemory;
}

}  // namespace extractor
