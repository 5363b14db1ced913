#include "bzip2/bzip2.h"

#include <new>

namespace extractor {

using bzip2::BitReader;

namespace {

constexpr uint64_t kBlockMagic = 0x314159265359;
constexpr uint64_t kStreamEndMagic = 0x177245385090;
constexpr uint32_t kBytesPerLevel = 100000;

}  // namespace

Bzip2Decoder::Bzip2Decoder() = default;
Bzip2Decoder::~Bzip2Decoder() = default;

void Bzip2Decoder::reset(const StreamStart&) {
  phase_ = Phase::kStreamHeader;
  in_ = BitReader();
  streams_ = 0;
}

// "BZh" and the level, 1 to 9: the block size in units of 100,000 bytes.
Bzip2Decoder::Outcome Bzip2Decoder::readStreamHeader(bool complete) {
  const BitReader::Mark start = in_.mark();
  const uint32_t magic = in_.take(24);
  const uint32_t level = in_.take(8);
  if (in_.overrun) {
    if (complete) return Outcome::kError;
    in_.rewind(start);
    return Outcome::kStop;
  }
  if (magic != 0x425A68 || level < '1' || level > '9') return Outcome::kError;
  blockLimit_ = (level - '0') * kBytesPerLevel;
  // Allocated once for the entry; a later stream of a higher level grows it.
  if (blockLimit_ > linksCapacity_) {
    links_.reset(new (std::nothrow) uint32_t[blockLimit_]);
    linksCapacity_ = links_ ? blockLimit_ : 0;
    if (!links_) return Outcome::kNoMemory;
  }
  streamCrc_ = 0;
  return Outcome::kDone;
}

// A block's magic and header, or the stream's end marker and CRC. Read as
// one unit: cut short, it is read again from its start once more input is
// buffered.
Bzip2Decoder::Outcome Bzip2Decoder::readBlockStart(bool complete) {
  const BitReader::Mark start = in_.mark();
  const uint64_t high = in_.take(24);
  const uint64_t magic = high << 24 | in_.take(24);
  const uint32_t crc = in_.take(32);
  Outcome outcome = Outcome::kDone;
  if (magic == kBlockMagic) {
    storedBlockCrc_ = crc;
    outcome = readBlockHeader();
  } else if (magic == kStreamEndMagic) {
    storedStreamCrc_ = crc;
  } else if (!in_.overrun) {
    return Outcome::kError;
  }
  if (in_.overrun) {
    if (complete) return Outcome::kError;
    in_.rewind(start);
    return Outcome::kStop;
  }
  if (outcome != Outcome::kDone) return outcome;
  if (magic == kStreamEndMagic) {
    if (storedStreamCrc_ != streamCrc_) return Outcome::kError;
    in_.alignToByte();
    streams_++;
    phase_ = Phase::kAfterStream;
  } else {
    phase_ = Phase::kSymbols;
  }
  return Outcome::kDone;
}

DecodeStatus Bzip2Decoder::step(const uint8_t* input, uint32_t inputCount, bool inputComplete,
                                uint32_t& inPos, uint8_t* output, uint32_t outputLimit,
                                uint32_t& outPos) {
  if (inPos > inputCount || outPos > outputLimit) return DecodeStatus::kMoreInput;
  in_.next = input + inPos;
  in_.end = input + inputCount;
  in_.overrun = false;
  uint8_t* out = output + outPos;
  uint8_t* const outEnd = output + outputLimit;

  Outcome outcome = Outcome::kDone;
  while (outcome == Outcome::kDone) {
    switch (phase_) {
      case Phase::kStreamHeader:
        outcome = readStreamHeader(inputComplete);
        if (outcome == Outcome::kDone) phase_ = Phase::kBlockStart;
        break;
      case Phase::kBlockStart:
        outcome = readBlockStart(inputComplete);
        break;
      case Phase::kSymbols:
        outcome = readSymbols(inputComplete);
        if (outcome == Outcome::kDone) {
          if (!startOutput()) outcome = Outcome::kError;
          phase_ = Phase::kOutput;
        }
        break;
      case Phase::kOutput:
        out = writeOutput(out, outEnd);
        if (repeatLeft_ != 0 || bytesLeft_ != 0) {
          outcome = Outcome::kStop;  // the output area is full
        } else if (!endBlock()) {
          outcome = Outcome::kError;
        } else {
          phase_ = Phase::kBlockStart;
        }
        break;
      case Phase::kAfterStream:
        // Another stream may follow; the data end where no byte is left.
        if (in_.bytesLeft() == 0) {
          outcome = Outcome::kStop;
        } else {
          phase_ = Phase::kStreamHeader;
        }
        break;
    }
  }
  in_.giveBackWholeBytes();
  inPos = static_cast<uint32_t>(in_.next - input);
  outPos = static_cast<uint32_t>(out - output);
  if (outcome == Outcome::kError) return DecodeStatus::kDamaged;
  if (outcome == Outcome::kNoMemory) return DecodeStatus::kOutOfMemory;
  if (phase_ == Phase::kOutput) return DecodeStatus::kOutputFull;
  // Another stream may follow one that ended, until the input is complete.
  if (finished() && inputComplete) return DecodeStatus::kDone;
  return DecodeStatus::kMoreInput;
}

}  // namespace extractor
