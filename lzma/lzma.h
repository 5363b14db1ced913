// LZMA decoder (ZIP method 14), driven pass by pass by the entry pipeline:
// the ZIP header (version, properties size, the five properties bytes),
// then the range-coded literals and matches into a dictionary of the
// decoder's own, from which each call copies into the caller's output area.
#pragma once

#include <cstdint>
#include <memory>

#include "decode/stream_decoder.h"
#include "lzma/range_decoder.h"

namespace extractor {

namespace lzma {
struct Model;
}

class LzmaDecoder : public StreamDecoder {
 public:
  // Bytes allocated behind the dictionary's end, for copies in words.
  static constexpr uint32_t kCopySlack = 8;

  LzmaDecoder();
  ~LzmaDecoder() override;
  LzmaDecoder(const LzmaDecoder&) = delete;
  LzmaDecoder& operator=(const LzmaDecoder&) = delete;

  // Starts an entry of start.uncompressedSize bytes. With the end-marker
  // flag (bit 1) the data end with the end marker; otherwise after
  // uncompressedSize bytes.
  void reset(const StreamStart& start) override;

  // kDamaged on bad or cut data, kOutOfMemory when the dictionary cannot
  // be allocated.
  DecodeStatus step(const uint8_t* input, uint32_t inputCount, bool inputComplete, uint32_t& inPos,
                    uint8_t* output, uint32_t outputLimit, uint32_t& outPos) override;

  bool hasOutput() const override { return !finished_; }
  bool finished() const override { return finished_; }
  // Bytes of dictionary allocated, for tests.
  uint32_t dictionarySize() const { return dictSize_; }

 private:
  enum class Outcome { kDone, kStop, kError, kNoMemory };

  Outcome readHeader(const uint8_t*& in, const uint8_t* end, bool complete);
  Outcome decode(lzma::RangeDecoder& rc, const uint8_t* inLimit, uint32_t dictLimit);
  uint32_t copyMatch(uint32_t limit);

  std::unique_ptr<lzma::Model> model_;
  std::unique_ptr<uint8_t[]> dict_;
  uint32_t dictSize_ = 0;      // allocated
  uint32_t dictCapacity_ = 0;  // kept from earlier entries
  uint32_t dictPos_ = 0;
  bool dictFull_ = false;  // dictPos_ has wrapped at least once

  uint64_t uncompressedSize_ = 0;
  bool endMarker_ = false;
  bool headerRead_ = false;
  bool finished_ = false;
  uint64_t produced_ = 0;  // bytes decoded so far

  uint32_t range_ = 0;
  uint32_t code_ = 0;
  unsigned lc_ = 0, lp_ = 0, pb_ = 0;
  unsigned state_ = 0;
  uint32_t rep_[4] = {};
  uint32_t matchLeft_ = 0;  // bytes of the current match still to copy
};

}  // namespace extractor
