// Drives a stream decoder (bzip2, LZMA, ...) as the entry pipeline does:
// input made available a few bytes at a time, output taken in areas of a
// fixed size, calls repeated while input is pending or output is due.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

#include "decode/decode_status.h"
#include "decode/stream_decoder.h"

namespace extractor::testing {

struct Decoded {
  bool failed = false;
  int status = 0;  // the failing step's DecodeStatus, for messages
  bool finished = false;
  std::vector<uint8_t> output;
  bool ok() const { return !failed && finished; }
};

// inputStep 0 buffers all input at once. The input buffer moves its
// unconsumed bytes to its start before each refill, as the pipeline does.
template <typename Decoder>
Decoded drive(Decoder& decoder, const std::vector<uint8_t>& stream, size_t inputStep,
              uint32_t outputArea) {
  Decoded result;
  std::vector<uint8_t> buffer;
  std::vector<uint8_t> area(outputArea);
  size_t read = 0;
  for (unsigned idle = 0; idle < 3;) {
    const size_t step = inputStep ? inputStep : stream.size();
    const size_t n = std::min(step, stream.size() - read);
    buffer.insert(buffer.end(), stream.begin() + read, stream.begin() + read + n);
    read += n;
    const bool complete = read == stream.size();
    uint32_t inPos = 0;
    uint32_t outPos = 0;
    const auto status = decoder.step(buffer.data(), static_cast<uint32_t>(buffer.size()), complete,
                                     inPos, area.data(), outputArea, outPos);
    result.output.insert(result.output.end(), area.begin(), area.begin() + outPos);
    buffer.erase(buffer.begin(), buffer.begin() + inPos);
    if (decodeFailed(status)) {
      result.failed = true;
      result.status = static_cast<int>(status);
      break;
    }
    const bool more = !buffer.empty() || decoder.hasOutput();
    if (complete && !more) break;
    // Complete input with nothing done: the pipeline gives up here.
    idle = complete && inPos == 0 && outPos == 0 ? idle + 1 : 0;
  }
  result.finished = decoder.finished();
  return result;
}

// Starts decoder on an entry of size bytes with no flags, then drives it.
template <typename Decoder>
Decoded decodeEntry(Decoder& decoder, const std::vector<uint8_t>& stream, uint64_t size,
                    size_t inputStep = 0, uint32_t outputArea = 1 << 20) {
  decoder.reset(StreamStart{size, 0});
  return drive(decoder, stream, inputStep, outputArea);
}

// The lengths a cut-stream test tries: every one through the first 4 KiB,
// where headers, tables and the first symbols are, then every far-th.
inline size_t nextCut(size_t cut, size_t far = 997) {
  return cut + (cut < 4096 ? 1 : far);
}

}  // namespace extractor::testing
