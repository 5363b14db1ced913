// bzip2 decoder (ZIP method 12), driven pass by pass by the entry pipeline:
// each call decodes from the caller's input into the caller's output area
// and can stop between any two symbols or output bytes.
#pragma once

#include <cstdint>
#include <memory>

#include "bzip2/bit_reader.h"
#include "bzip2/group_code.h"
#include "decode/stream_decoder.h"

namespace extractor {

class Bzip2Decoder final : public StreamDecoder {
 public:
  Bzip2Decoder();
  ~Bzip2Decoder() override;
  Bzip2Decoder(const Bzip2Decoder&) = delete;
  Bzip2Decoder& operator=(const Bzip2Decoder&) = delete;

  // Back to the start of an entry; the block memory is kept. Nothing of
  // the entry is needed: the data say all.
  void reset(const StreamStart& start) override;

  // kDamaged on bad or (with inputComplete) cut data, kOutOfMemory when the
  // block memory cannot be had; kDone once a stream has ended and no input
  // follows.
  DecodeStatus step(const uint8_t* input, uint32_t inputCount, bool inputComplete, uint32_t& inPos,
                    uint8_t* output, uint32_t outputLimit, uint32_t& outPos) override;

  // Output is due that needs no more input.
  bool hasOutput() const override { return phase_ == Phase::kOutput; }
  // At least one stream has ended, and nothing after it began.
  bool finished() const override { return phase_ == Phase::kAfterStream && streams_ > 0; }

 private:
  enum class Phase { kStreamHeader, kBlockStart, kSymbols, kOutput, kAfterStream };
  enum class Outcome { kDone, kStop, kError, kNoMemory };

  Outcome readStreamHeader(bool complete);
  Outcome readBlockStart(bool complete);
  Outcome readBlockHeader();
  Outcome readSymbols(bool complete);
  bool startOutput();
  uint8_t* writeOutput(uint8_t* out, uint8_t* end);
  bool randomBit();
  bool endBlock();

  Phase phase_ = Phase::kStreamHeader;
  bzip2::BitReader in_;
  unsigned streams_ = 0;

  // The block memory: per byte of the block its value (low 8 bits) and,
  // once the block is read, the position that follows it (high 24 bits).
  std::unique_ptr<uint32_t[]> links_;
  uint32_t linksCapacity_ = 0;
  uint32_t blockLimit_ = 0;  // 100,000 times the stream's level

  // Block header.
  uint32_t storedBlockCrc_ = 0;
  uint32_t storedStreamCrc_ = 0;
  bool randomised_ = false;
  uint32_t origin_ = 0;
  unsigned symbolsInUse_ = 0;
  uint8_t byteOfSymbol_[256] = {};
  unsigned groupCount_ = 0;
  unsigned selectorCount_ = 0;
  uint8_t selectors_[18002] = {};
  bzip2::GroupCode codes_[6];
  bool codeUsable_[6] = {};

  // Symbol decoding.
  const bzip2::GroupCode* code_ = nullptr;
  unsigned groupLeft_ = 0;
  unsigned groupIndex_ = 0;
  uint32_t run_ = 0;
  unsigned runShift_ = 0;
  uint8_t moveToFront_[256] = {};
  uint32_t blockSize_ = 0;
  uint32_t byteCounts_[256] = {};

  // Output of the block.
  uint32_t next_ = 0;        // position of the next byte in links_
  uint32_t bytesLeft_ = 0;   // of the block, before run expansion
  uint32_t repeatLeft_ = 0;  // copies of lastByte_ still to write
  uint8_t lastByte_ = 0;
  unsigned sameCount_ = 0;  // equal bytes in a row so far; 4 means a count follows
  unsigned randomGap_ = 0;
  unsigned randomIndex_ = 0;
  uint32_t blockCrc_ = 0;
  uint32_t streamCrc_ = 0;
};

}  // namespace extractor
