// The block's symbols: runs of the front byte (RUNA and RUNB digits of a
// bijective base-2 count), move-to-front indexes, and the end of block.
#include <cstring>

#include "bzip2/bzip2.h"

namespace extractor {

namespace {

constexpr unsigned kGroupSize = 50;
constexpr unsigned kRunA = 0;
constexpr unsigned kRunB = 1;
constexpr unsigned kMinBitsForSymbol = bzip2::kMaxCodeLength;

}  // namespace

Bzip2Decoder::Outcome Bzip2Decoder::readSymbols(bool complete) {
  const unsigned endOfBlock = symbolsInUse_ + 1;
  uint32_t* const block = links_.get();
  for (;;) {
    if (groupLeft_ == 0) {
      if (groupIndex_ >= selectorCount_) return Outcome::kError;
      const uint8_t group = selectors_[groupIndex_++];
      if (!codeUsable_[group]) return Outcome::kError;
      code_ = &codes_[group];
      groupLeft_ = kGroupSize;
    }
    if (in_.count < kMinBitsForSymbol) {
      in_.refill();
      // Near the end of the buffered input a symbol may be cut off.
      if (in_.count < kMinBitsForSymbol && !complete) return Outcome::kStop;
    }
    unsigned length;
    const uint32_t symbol = code_->decode(in_.bits, length);
    if (length == 0 || length > in_.count) return Outcome::kError;
    in_.skip(length);
    groupLeft_--;

    if (symbol <= kRunB) {
      run_ += (symbol + 1) << runShift_;
      runShift_++;
      if (run_ > blockLimit_) return Outcome::kError;
      continue;
    }
    if (run_ != 0) {
      if (run_ > blockLimit_ - blockSize_) return Outcome::kError;
      const uint8_t byte = byteOfSymbol_[moveToFront_[0]];
      uint32_t* fill = block + blockSize_;
      for (uint32_t i = 0; i < run_; ++i) fill[i] = byte;
      byteCounts_[byte] += run_;
      blockSize_ += run_;
      run_ = 0;
      runShift_ = 0;
    }
    if (symbol == endOfBlock) return Outcome::kDone;
    if (symbol > endOfBlock || blockSize_ >= blockLimit_) return Outcome::kError;

    const unsigned index = symbol - 1;
    const uint8_t front = moveToFront_[index];
    std::memmove(moveToFront_ + 1, moveToFront_, index);
    moveToFront_[0] = front;
    const uint8_t byte = byteOfSymbol_[front];
    block[blockSize_++] = byte;
    byteCounts_[byte]++;
  }
}

}  // namespace extractor
