#include "lzma/lzma.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "lzma/model.h"

namespace extractor {

using lzma::Probability;
using lzma::RangeDecoder;

namespace {

// Version (2 bytes), properties size (2), properties (5), then the range
// decoder's first five bytes.
constexpr uint32_t kHeaderSize = 4 + 5 + 5;
constexpr uint32_t kMinDictionary = 4096;
// More than one literal or match can take from the input.
constexpr uint32_t kInputMargin = 64;

uint32_t load32(const uint8_t* p) {
  return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24;
}

}  // namespace

LzmaDecoder::LzmaDecoder() = default;
LzmaDecoder::~LzmaDecoder() = default;

void LzmaDecoder::reset(const StreamStart& start) {
  uncompressedSize_ = start.uncompressedSize;
  endMarker_ = (start.flags & kLzmaEndMarkerFlag) != 0;
  lzma2_ = false;
  headerRead_ = false;
  finished_ = false;
  produced_ = 0;
  dictPos_ = 0;
  dictFull_ = false;
  matchLeft_ = 0;
}

void LzmaDecoder::resetLzma2(uint32_t dictionarySize) {
  reset(StreamStart{});
  lzma2_ = true;
  lzma2Dictionary_ = std::max(dictionarySize, kMinDictionary);
  chunk_ = Chunk::kHeader;
  needDictionaryReset_ = true;
  needProperties_ = true;
}

// The dictionary and the probabilities, kept from earlier entries when
// large enough.
LzmaDecoder::Outcome LzmaDecoder::allocate(uint32_t dictionary, size_t literalCount) {
  if (dictionary > dictCapacity_) {
    dict_.reset();
    dict_.reset(new (std::nothrow) uint8_t[dictionary + kCopySlack]);
    dictCapacity_ = dict_ ? dictionary : 0;
    if (!dict_) return Outcome::kNoMemory;
  }
  dictSize_ = dictionary;
  if (!model_) model_.reset(new (std::nothrow) lzma::Model);
  if (!model_) return Outcome::kNoMemory;
  if (literalCount > model_->literalCount) {
    model_->literals.reset();
    model_->literals.reset(new (std::nothrow) Probability[literalCount]);
    model_->literalCount = model_->literals ? literalCount : 0;
    if (!model_->literals) return Outcome::kNoMemory;
  }
  return Outcome::kDone;
}

// The properties byte: (pb * 5 + lp) * 9 + lc.
bool LzmaDecoder::setProperties(unsigned byte) {
  if (byte >= 9 * 5 * 5) return false;
  lc_ = byte % 9;
  byte /= 9;
  lp_ = byte % 5;
  pb_ = byte / 5;
  return true;
}

void LzmaDecoder::resetState() {
  std::fill_n(model_->literals.get(), size_t{lzma::kLiteralCoderSize} << (lc_ + lp_),
              lzma::kProbabilityHalf);
  Probability* tables = reinterpret_cast<Probability*>(&model_->tables);
  std::fill_n(tables, sizeof(lzma::ModelTables) / sizeof(Probability), lzma::kProbabilityHalf);
  state_ = 0;
  std::fill_n(rep_, 4, 0u);
  matchLeft_ = 0;
}

// The range decoder's first five bytes, the first of them always zero.
void LzmaDecoder::startRange(const uint8_t* in) {
  range_ = 0xFFFFFFFF;
  code_ = in[1] << 24 | in[2] << 16 | in[3] << 8 | in[4];
}

LzmaDecoder::Outcome LzmaDecoder::readHeader(const uint8_t*& in, const uint8_t* end,
                                             bool complete) {
  if (static_cast<size_t>(end - in) < kHeaderSize) {
    return complete ? Outcome::kError : Outcome::kStop;
  }
  const uint32_t propertiesSize = in[2] | in[3] << 8;
  if (propertiesSize != 5 || !setProperties(in[4]) || in[9] != 0) return Outcome::kError;
  // A large stated dictionary costs nothing on a small entry.
  const uint32_t want = static_cast<uint32_t>(
      std::max<uint64_t>(std::min<uint64_t>(load32(in + 5), uncompressedSize_), kMinDictionary));
  const Outcome allocated = allocate(want, size_t{lzma::kLiteralCoderSize} << (lc_ + lp_));
  if (allocated != Outcome::kDone) return allocated;
  resetState();
  startRange(in + 9);
  in += kHeaderSize;
  headerRead_ = true;
  return Outcome::kDone;
}

// Decodes into the dictionary up to limit from in..end. last says no input
// will follow end: the final bytes are then decoded from a padded copy, and
// reading into the padding means the data are cut.
LzmaDecoder::Outcome LzmaDecoder::decodeFrom(const uint8_t*& in, const uint8_t* end, bool last,
                                             uint32_t limit) {
  RangeDecoder rc{range_, code_, nullptr};
  uint8_t tail[2 * kInputMargin];
  const size_t available = static_cast<size_t>(end - in);
  Outcome outcome = Outcome::kStop;
  if (available >= kInputMargin) {
    rc.in = in;
    outcome = decode(rc, end - kInputMargin, limit);
    in = rc.in;
  } else if (last) {
    if (available != 0) std::memcpy(tail, in, available);  // in may be null then
    std::memset(tail + available, 0, sizeof tail - available);
    rc.in = tail;
    outcome = decode(rc, tail + available, limit);
    if (rc.in > tail + available) {
      outcome = Outcome::kError;
      rc.in = tail + available;
    }
    in += rc.in - tail;
  }
  range_ = rc.range;
  code_ = rc.code;
  return outcome;
}

// Where decoding into the dictionary stops: at its end, after room bytes
// of output, or after left bytes of data.
uint32_t LzmaDecoder::dictionaryLimit(uint32_t room, uint64_t left) const {
  const uint32_t start = dictPos_;
  uint32_t limit = std::min(dictSize_, start + std::min(room, dictSize_));
  if (left < limit - start) limit = start + static_cast<uint32_t>(left);
  return limit;
}

// Copies what the dictionary gained since start to the output, and wraps
// the dictionary at its end.
void LzmaDecoder::emit(uint32_t start, uint8_t* output, uint32_t& outPos) {
  const uint32_t made = dictPos_ - start;
  std::memcpy(output + outPos, dict_.get() + start, made);
  outPos += made;
  if (dictPos_ == dictSize_) {
    dictPos_ = 0;
    dictFull_ = true;
  }
}

DecodeStatus LzmaDecoder::status(Outcome outcome, uint32_t outPos, uint32_t outputLimit) const {
  if (outcome == Outcome::kError) return DecodeStatus::kDamaged;
  if (outcome == Outcome::kNoMemory) return DecodeStatus::kOutOfMemory;
  if (finished_) return DecodeStatus::kDone;
  return outPos == outputLimit ? DecodeStatus::kOutputFull : DecodeStatus::kMoreInput;
}

// Copies up to limit of the match in progress, within the dictionary.
uint32_t LzmaDecoder::copyMatch(uint32_t limit) {
  uint8_t* const dict = dict_.get();
  uint32_t pos = dictPos_;
  const uint32_t n = std::min(matchLeft_, limit - pos);
  uint32_t src = pos - rep_[0] - 1;
  if (pos <= rep_[0]) src += dictSize_;
  for (uint32_t i = 0; i < n; ++i) {
    dict[pos++] = dict[src++];
    if (src == dictSize_) src = 0;
  }
  matchLeft_ -= n;
  dictPos_ = pos;
  produced_ += n;
  return n;
}

DecodeStatus LzmaDecoder::step(const uint8_t* input, uint32_t inputCount, bool inputComplete,
                               uint32_t& inPos, uint8_t* output, uint32_t outputLimit,
                               uint32_t& outPos) {
  if (inPos > inputCount || outPos > outputLimit) return DecodeStatus::kDamaged;
  if (lzma2_) {
    return stepLzma2(input, inputCount, inputComplete, inPos, output, outputLimit, outPos);
  }
  const uint8_t* in = input + inPos;
  const uint8_t* const end = input + inputCount;
  Outcome outcome = Outcome::kDone;
  if (!headerRead_) outcome = readHeader(in, end, inputComplete);

  while (outcome == Outcome::kDone && !finished_ && outPos < outputLimit) {
    const uint32_t start = dictPos_;
    const uint64_t left = endMarker_ ? UINT64_MAX : uncompressedSize_ - produced_;
    if (left == 0) {
      finished_ = true;
      break;
    }
    const uint32_t limit = dictionaryLimit(outputLimit - outPos, left);
    if (matchLeft_ != 0) copyMatch(limit);
    if (dictPos_ < limit) outcome = decodeFrom(in, end, inputComplete, limit);
    const bool made = dictPos_ != start;
    emit(start, output, outPos);
    if (!made && outcome == Outcome::kDone) break;
  }
  if (finished_) in = end;  // whatever follows the data is not looked at
  inPos = static_cast<uint32_t>(in - input);
  return status(outcome, outPos, outputLimit);
}

}  // namespace extractor
