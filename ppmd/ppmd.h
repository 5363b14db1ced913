// PPMd decoder (ZIP method 98: PPMd variant I, revision 1), driven pass by
// pass by the entry pipeline. The data start with two bytes, little-endian:
// the model order - 1 (low 4 bits), the memory size in MiB - 1 (next 8)
// and the restoration method (top 4); the range-coded symbols follow. The
// entry's uncompressed size says where they end: an end mark some encoders
// write after the last symbol is not read. The model's memory is allocated
// when the header is read and kept for a next entry of the same size.
#pragma once

#include <cstdint>
#include <memory>

#include "decode/stream_decoder.h"
#include "ppmd/range_decoder.h"

namespace extractor {

namespace ppmd {
class Model;
}

class PpmdDecoder : public StreamDecoder {
 public:
  static constexpr uint32_t kMaxMemory = 256u << 20;

  PpmdDecoder();
  ~PpmdDecoder() override;
  PpmdDecoder(const PpmdDecoder&) = delete;
  PpmdDecoder& operator=(const PpmdDecoder&) = delete;

  void reset(const StreamStart& start) override;
  DecodeStatus step(const uint8_t* input, uint32_t inputCount, bool inputComplete, uint32_t& inPos,
                    uint8_t* output, uint32_t outputLimit, uint32_t& outPos) override;
  bool hasOutput() const override { return !finished_; }
  bool finished() const override { return finished_; }

  // The most model memory an entry may have, for tests (at most kMaxMemory).
  void setMemoryLimit(uint32_t bytes) { memoryLimit_ = bytes; }

 private:
  DecodeStatus start(const uint8_t* in);
  DecodeStatus finish(uint32_t inputCount, uint32_t& inPos);
  DecodeStatus decodeSymbols(uint8_t*& out, uint8_t* outEnd, const uint8_t* safeEnd,
                             bool inputComplete);

  std::unique_ptr<ppmd::Model> model_;
  ppmd::RangeDecoder rc_;
  uint64_t size_ = 0;
  uint64_t produced_ = 0;
  uint32_t memoryLimit_ = kMaxMemory;
  DecodeStatus failure_ = DecodeStatus::kDone;  // kept once a step failed
  bool started_ = false;
  bool finished_ = false;
};

}  // namespace extractor
