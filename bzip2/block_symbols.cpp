// The block's symbols: runs of the front byte (RUNA and RUNB digits of a
// bijective base-2 count), move-to-front indexes, and the end of block.
#include <cstring>

#include "bzip2/bzip2.h"

namespace extractor {

namespace {

constexpr unsigned kGroupSize = 50;
constexpr unsigned kRunB = 1;
constexpr unsigned kMinBitsForSymbol = bzip2::kMaxCodeLength;

}  // namespace

Bzip2Decoder::Outcome Bzip2Decoder::readSymbols(bool complete) {
  const unsigned endOfBlock = symbolsInUse_ + 1;
  uint32_t* const block = links_.get();
  // Locals the compiler can keep in registers: the block's stores could
  // otherwise reach the members.
  bzip2::BitReader in = in_;
  uint32_t size = blockSize_;
  uint32_t run = run_;
  unsigned runShift = runShift_;
  unsigned groupLeft = groupLeft_;
  const bzip2::GroupCode* code = code_;
  Outcome outcome = Outcome::kError;

  for (;;) {
    if (groupLeft == 0) {
      if (groupIndex_ >= selectorCount_) break;
      const uint8_t group = selectors_[groupIndex_++];
      if (!codeUsable_[group]) break;
      code = &codes_[group];
      groupLeft = kGroupSize;
    }
    if (in.count < kMinBitsForSymbol) {
      in.refill();
      // Near the end of the buffered input a symbol may be cut off.
      if (in.count < kMinBitsForSymbol && !complete) {
        outcome = Outcome::kStop;
        break;
      }
    }
    unsigned length;
    const uint32_t symbol = code->decode(in.bits, length);
    if (length == 0 || length > in.count) break;
    in.skip(length);
    groupLeft--;

    if (symbol <= kRunB) {
      run += (symbol + 1) << runShift;
      runShift++;
      if (run > blockLimit_) break;
      continue;
    }
    if (run != 0) {
      if (run > blockLimit_ - size) break;
      const uint8_t byte = byteOfSymbol_[moveToFront_[0]];
      uint32_t* fill = block + size;
      for (uint32_t i = 0; i < run; ++i) fill[i] = byte;
      byteCounts_[byte] += run;
      size += run;
      run = 0;
      runShift = 0;
    }
    if (symbol == endOfBlock) {
      outcome = Outcome::kDone;
      break;
    }
    if (symbol > endOfBlock || size >= blockLimit_) break;

    const unsigned index = symbol - 1;
    const uint8_t front = moveToFront_[index];
    if (index < 16) {
      for (unsigned i = index; i > 0; --i) moveToFront_[i] = moveToFront_[i - 1];
    } else {
      std::memmove(moveToFront_ + 1, moveToFront_, index);
    }
    moveToFront_[0] = front;
    const uint8_t byte = byteOfSymbol_[front];
    block[size++] = byte;
    byteCounts_[byte]++;
  }

  in_ = in;
  blockSize_ = size;
  run_ = run;
  runShift_ = runShift;
  groupLeft_ = groupLeft;
  code_ = code;
  return outcome;
}

}  // namespace extractor
