// Runs the table-driven decoder and the reference on the same calls and
// checks after each call that they agree.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "deflate_writer.h"
#include "inflate/inflate.h"
#include "reference_inflate.h"

namespace extractor::testing {

class DualDecoder {
 public:
  // Calls may pass limits up to maxLimit.
  explicit DualDecoder(uint32_t maxLimit, InflateFormat format = InflateFormat::kDeflate);

  // Both decoders start from the given positions. Returns their common
  // result; after a disagreement, agreed() is false and the decoders are
  // not called again.
  ZipError step(const uint8_t* input, uint32_t inputCount, uint32_t limit);
  void setPositions(uint32_t inPos, uint32_t outPos);

  const InflateState& state() const { return *fast_; }
  const reference::Coverage& seen() const { return ref_->seen; }
  uint8_t* output() { return fastOut_.data() + kHistory; }
  bool agreed() const { return mismatch_.empty(); }
  const std::string& mismatch() const { return mismatch_; }
  unsigned calls() const { return calls_; }
  // Makes the history in front of both output areas the kHistory bytes
  // that end with output()[count - 1].
  void keepHistory(uint32_t count);

  static constexpr uint32_t kHistory = kHistorySize;

 private:
  void compare(ZipError fastResult, ZipError refResult, uint32_t outBefore);

  std::unique_ptr<InflateState> fast_;
  std::unique_ptr<reference::State> ref_;
  std::vector<uint8_t> fastOut_, refOut_;
  uint32_t maxLimit_;
  std::string mismatch_;
  unsigned calls_ = 0;
};

struct DriveResult {
  ZipError error = zipErrNone;
  std::vector<uint8_t> output;
  bool agreed = true;
  std::string mismatch;
  unsigned calls = 0;
  reference::Coverage seen;
};

// All of input buffered; calls with a fixed limit until an error or a call
// that changes nothing.
DriveResult driveWhole(const std::vector<uint8_t>& input, uint32_t limit,
                       InflateFormat format = InflateFormat::kDeflate);

// Input made available `step` bytes at a time, each time calling until a
// call changes nothing; the limit never bounds the input.
DriveResult driveIncremental(const std::vector<uint8_t>& input, uint32_t step, uint32_t limit,
                             InflateFormat format = InflateFormat::kDeflate);

// As the entry pipeline drives the decoder: an input buffer of `capacity`
// bytes refilled with chunks of at most maxChunk bytes, passes that keep
// 32768 bytes unconsumed while more input follows, output taken and
// history kept after each pass.
DriveResult drivePipeline(const std::vector<uint8_t>& input, uint32_t capacity, uint32_t maxChunk,
                          InflateFormat format = InflateFormat::kDeflate);

}  // namespace extractor::testing
