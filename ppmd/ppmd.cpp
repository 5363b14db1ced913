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
  if (produced_ == size_) {
    finished_ = true;
    return DecodeStatus::kDone;
  }
  if (!started_) {
    if (inputCount - inPos < kHeaderSize) {
      return inputComplete ? DecodeStatus::kDamaged : DecodeStatus::kMoreInput;
    }
    const DecodeStatus status = start(input + inPos);
    if (decodeFailed(status)) return failure_ = status;
    inPos += kHeaderSize;
  }

  ppmd::RangeDecoder& rc = rc_;
  const uint8_t* const end = input + inputCount;
  rc.setInput(input + inPos, end);
  // Until the input is complete, stop where a symbol might run past it.
  const uint8_t* const safeEnd =
      inputComplete ? end
                    : (inputCount - inPos > kInputMargin ? end - kInputMargin : input + inPos);
  uint64_t left = size_ - produced_;
  uint32_t room = outputLimit - outPos;
  const uint32_t n = left < room ? static_cast<uint32_t>(left) : room;
  uint8_t* out = output + outPos;
  uint8_t* const outEnd = out + n;
  DecodeStatus status = DecodeStatus::kOutputFull;
  while (out != outEnd) {
    if (rc.next > safeEnd || (rc.next == safeEnd && !inputComplete)) {
      status = DecodeStatus::kMoreInput;
      break;
    }
    const int symbol = model_->decodeSymbol(rc);
    if (symbol < 0 || rc.overrun() || model_->isBroken()) {
      // An end mark before the stated size is cut data as well.
      status = DecodeStatus::kDamaged;
      break;
    }
    *out++ = static_cast<uint8_t>(symbol);
  }
  const uint32_t done = static_cast<uint32_t>(out - (output + outPos));
  outPos += done;
  produced_ += done;
  inPos = static_cast<uint32_t>(rc.next - input);
  if (status == DecodeStatus::kDamaged) return failure_ = status;
  if (produced_ == size_) {
    finished_ = true;
    return DecodeStatus::kDone;
  }
  return status;
}

}  // namespace extractor
