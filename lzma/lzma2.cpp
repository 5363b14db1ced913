// LZMA2: the LZMA model in chunks, each opened by a control byte:
//   0x00        the end of the data;
//   0x01, 0x02  stored bytes, with and without a dictionary reset, then
//               their count less one (2 bytes, big-endian);
//   0x80-0xFF   range-coded data. Bits 5-6 say what is reset (1 the state,
//               2 also new properties, 3 also the dictionary), bits 0-4 are
//               bits 16-20 of the byte count less one; then its low 16 bits
//               and the compressed size less one (2 bytes each, big-endian),
//               then the properties byte when new.
// Each range-coded chunk starts the range decoder afresh and ends where
// both its sizes do. The first chunk resets the dictionary, and the first
// range-coded chunk after a dictionary reset brings properties.
#include <algorithm>
#include <cstring>

#include "lzma/lzma.h"
#include "lzma/model.h"

namespace extractor {

namespace {

constexpr size_t kRangeStart = 5;        // the range decoder's first bytes
constexpr unsigned kMaxLiteralBits = 4;  // lc + lp
constexpr uint8_t kEndChunk = 0x00;
constexpr uint8_t kStoredWithReset = 0x01;
constexpr uint8_t kStored = 0x02;
constexpr uint8_t kStateReset = 0xA0;
constexpr uint8_t kNewProperties = 0xC0;
constexpr uint8_t kDictionaryReset = 0xE0;

uint32_t load16BigEndian(const uint8_t* p) {
  return static_cast<uint32_t>(p[0] << 8 | p[1]);
}

}  // namespace

LzmaDecoder::Outcome LzmaDecoder::readChunkHeader(const uint8_t*& in, const uint8_t* end,
                                                  bool complete) {
  if (in == end) return complete ? Outcome::kError : Outcome::kStop;
  const uint8_t control = in[0];
  if (control == kEndChunk) {
    finished_ = true;
    ++in;
    return Outcome::kDone;
  }
  if (control > kStored && control < 0x80) return Outcome::kError;
  const size_t size = control < 0x80             ? 3
                      : control < kNewProperties ? 5 + kRangeStart
                                                 : 6 + kRangeStart;
  if (static_cast<size_t>(end - in) < size) return complete ? Outcome::kError : Outcome::kStop;

  if (control == kStoredWithReset || control >= kDictionaryReset) {
    const Outcome allocated =
        allocate(lzma2Dictionary_, size_t{lzma::kLiteralCoderSize} << kMaxLiteralBits);
    if (allocated != Outcome::kDone) return allocated;
    dictPos_ = 0;
    dictFull_ = false;
    produced_ = 0;
    needDictionaryReset_ = false;
    needProperties_ = true;
  } else if (needDictionaryReset_) {
    return Outcome::kError;
  }
  chunkOut_ = load16BigEndian(in + 1) + 1;
  if (control < 0x80) {
    chunk_ = Chunk::kCopy;
    in += size;
    return Outcome::kDone;
  }

  chunkOut_ += (control & 0x1Fu) << 16;
  chunkIn_ = load16BigEndian(in + 3) + 1;
  if (control >= kNewProperties) {
    if (!setProperties(in[5]) || lc_ + lp_ > kMaxLiteralBits) return Outcome::kError;
    needProperties_ = false;
  } else if (needProperties_) {
    return Outcome::kError;
  }
  if (control >= kStateReset) resetState();
  const uint8_t* const range = in + size - kRangeStart;
  if (chunkIn_ < kRangeStart || range[0] != 0) return Outcome::kError;
  startRange(range);
  chunkIn_ -= kRangeStart;
  in += size;
  chunk_ = Chunk::kLzma;
  return Outcome::kDone;
}

LzmaDecoder::Outcome LzmaDecoder::decodeChunk(const uint8_t*& in, const uint8_t* end, bool complete,
                                              uint8_t* output, uint32_t outputLimit,
                                              uint32_t& outPos) {
  if (chunkOut_ == 0) return endChunk(in, end, complete);
  if (outPos == outputLimit) return Outcome::kStop;
  const uint32_t start = dictPos_;
  const uint32_t limit = dictionaryLimit(outputLimit - outPos, chunkOut_);
  if (matchLeft_ != 0) copyMatch(limit);
  Outcome outcome = Outcome::kDone;
  if (dictPos_ < limit) {
    const bool whole = static_cast<size_t>(end - in) >= chunkIn_;
    const uint8_t* const from = in;
    outcome = decodeFrom(in, whole ? in + chunkIn_ : end, whole, limit);
    chunkIn_ -= static_cast<uint32_t>(in - from);
    if (outcome == Outcome::kStop && complete) outcome = Outcome::kError;  // cut
    // The end marker has no place in a chunk of known size.
    if (finished_) outcome = Outcome::kError;
  }
  chunkOut_ -= dictPos_ - start;
  emit(start, output, outPos);
  return outcome;
}

// After the chunk's last symbol: a match may not run on into the next
// chunk, and the range decoder, which reads its bytes as the bits need
// them, may still have one to take. Then the chunk's bytes are used up and
// the encoder's final code is zero.
LzmaDecoder::Outcome LzmaDecoder::endChunk(const uint8_t*& in, const uint8_t* end, bool complete) {
  if (matchLeft_ != 0) return Outcome::kError;
  if (range_ < lzma::kTopValue && chunkIn_ != 0) {
    if (in == end) return complete ? Outcome::kError : Outcome::kStop;
    range_ <<= 8;
    code_ = code_ << 8 | *in++;
    --chunkIn_;
  }
  if (chunkIn_ != 0 || code_ != 0) return Outcome::kError;
  chunk_ = Chunk::kHeader;
  return Outcome::kDone;
}

LzmaDecoder::Outcome LzmaDecoder::copyChunk(const uint8_t*& in, const uint8_t* end, bool complete,
                                            uint8_t* output, uint32_t outputLimit,
                                            uint32_t& outPos) {
  if (chunkOut_ == 0) {
    chunk_ = Chunk::kHeader;
    return Outcome::kDone;
  }
  if (outPos == outputLimit) return Outcome::kStop;
  if (in == end) return complete ? Outcome::kError : Outcome::kStop;
  const uint32_t start = dictPos_;
  const uint32_t n = std::min(dictionaryLimit(outputLimit - outPos, chunkOut_) - start,
                              static_cast<uint32_t>(end - in));
  std::memcpy(dict_.get() + start, in, n);
  in += n;
  dictPos_ += n;
  produced_ += n;
  chunkOut_ -= n;
  emit(start, output, outPos);
  return Outcome::kDone;
}

DecodeStatus LzmaDecoder::stepLzma2(const uint8_t* input, uint32_t inputCount, bool inputComplete,
                                    uint32_t& inPos, uint8_t* output, uint32_t outputLimit,
                                    uint32_t& outPos) {
  const uint8_t* in = input + inPos;
  const uint8_t* const end = input + inputCount;
  Outcome outcome = Outcome::kDone;
  while (outcome == Outcome::kDone && !finished_) {
    switch (chunk_) {
      case Chunk::kHeader:
        outcome = readChunkHeader(in, end, inputComplete);
        break;
      case Chunk::kLzma:
        outcome = decodeChunk(in, end, inputComplete, output, outputLimit, outPos);
        break;
      case Chunk::kCopy:
        outcome = copyChunk(in, end, inputComplete, output, outputLimit, outPos);
        break;
    }
  }
  inPos = static_cast<uint32_t>(in - input);
  return status(outcome, outPos, outputLimit);
}

}  // namespace extractor
