#include "ppmd/ppmd.h"

#include <new>

#include "ppmd/model.h"

namespace extractor {

namespace {

// The order and memory bytes, then the range decoder's first four.
constexpr uint32_t kHeaderSize = 2 + 4;
// More than one symbol can take from the input: a decode for each order
// escaped from, each reading a few bytes.
constexpr uint32_t kInputMargin = 256;

}  // namespace

PpmdDecoder::PpmdDecoder() = default;
PpmdDecoder::~PpmdDecoder() = default;

void PpmdDecoder::reset(const StreamStart& start) {
  size_ = start.uncompressedSize;
  produced_ = 0;
  started_ = false;
  finished_ = false;
  failure_ = DecodeStatus::kDone;
}

DecodeStatus PpmdDecoder::start(const uint8_t* in) {
  const unsigned header = in[0] | in[1] << 8;
  const unsigned order = (header & 0xF) + 1;
  const uint32_t memory = (((header >> 4) & 0xFF) + 1) << 20;
  const unsigned restore = header >> 12;
  if (order < ppmd::kMinOrder || restore > ppmd::kFreeze) return DecodeStatus::kDamaged;
  // Freezing the model when its memory fills is not decoded (no archiver
  // we know of writes it).
  if (restore == ppmd::kFreeze) return DecodeStatus::kUnsupported;
  if (memory > memoryLimit_) return DecodeStatus::kOutOfMemory;

  if (!model_) model_.reset(new (std::nothrow) ppmd::Model);
  if (!model_ || !model_->allocate(memory)) return DecodeStatus::kOutOfMemory;
  model_->init(order, restore);
  if (!rc_.init(in + 2)) return DecodeStatus::kDamaged;
  started_ = true;
  return DecodeStatus::kMoreInput;
}

DecodeStatus PpmdDecoder::step(const uint8_t* input, uint32_t inputCount, bool inputComplete,
                               uint32_t& inPos, uint8_t* output, uint32_t outputLimit,
                               uint32_t& outPos) {
  if (failure_ != DecodeStatus::kDone) return failure_;
  if (produced_ == size_) return finish(inputCount, inPos);
  if (!started_) {
    if (inputCount - inPos < kHeaderSize) {
      return inputComplete ? DecodeStatus::kDamaged : DecodeStatus::kMoreInput;
    }
    const DecodeStatus status = start(input + inPos);
    if (decodeFailed(status)) return failure_ = status;
    inPos += kHeaderSize;
  }

  const uint8_t* const end = input + inputCount;
  rc_.setInput(input + inPos, end);
  // Until the input is complete, stop where a symbol might run past it.
  const uint8_t* const safeEnd =
      inputComplete ? end
                    : (inputCount - inPos > kInputMargin ? end - kInputMargin : input + inPos);
  const uint64_t left = size_ - produced_;
  const uint32_t room = outputLimit - outPos;
  uint8_t* const out = output + outPos;
  uint8_t* const outEnd = out + (left < room ? static_cast<uint32_t>(left) : room);
  uint8_t* next = out;
  const DecodeStatus status = decodeSymbols(next, outEnd, safeEnd, inputComplete);
  outPos += static_cast<uint32_t>(next - out);
  produced_ += static_cast<uint64_t>(next - out);
  inPos = static_cast<uint32_t>(rc_.next - input);
  if (status == DecodeStatus::kDamaged) return failure_ = status;
  if (produced_ == size_) return finish(inputCount, inPos);
  return status;
}

// The size ends the data. Writers put an end mark behind the last symbol
// (7z does), which no reader needs: it and whatever else follows within the
// entry are taken as read.
DecodeStatus PpmdDecoder::finish(uint32_t inputCount, uint32_t& inPos) {
  finished_ = true;
  inPos = inputCount;
  return DecodeStatus::kDone;
}

DecodeStatus PpmdDecoder::decodeSymbols(uint8_t*& out, uint8_t* outEnd, const uint8_t* safeEnd,
                                        bool inputComplete) {
  ppmd::RangeDecoder& rc = rc_;
  ppmd::Model& model = *model_;
  for (; out != outEnd; ++out) {
    if (rc.next > safeEnd || (rc.next == safeEnd && !inputComplete)) {
      return DecodeStatus::kMoreInput;
    }
    const int symbol = model.decodeSymbol(rc);
    // An end mark before the stated size is cut data as well.
    if (symbol < 0 || rc.overrun() || model.isBroken()) return DecodeStatus::kDamaged;
    *out = static_cast<uint8_t>(symbol);
  }
  return DecodeStatus::kOutputFull;
}

}  // namespace extractor
