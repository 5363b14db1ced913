#include "inflate/inflate.h"

#include <cstring>

#include "inflate/dynamic_header.h"
#include "inflate/huffman_block.h"
#include "inflate/step.h"

namespace extractor {
namespace {

// The stored block is copied whole or not at all.
Outcome copyStoredBlock(StepContext& c) {
  BitInput& in = c.in;
  in.consume(in.count & 7);
  in.giveBackWholeBytes();
  if (in.end - in.next < 4) return Outcome::kStop;
  const uint32_t length = in.next[0] | in.next[1] << 8;
  const uint32_t complement = in.next[2] | in.next[3] << 8;
  if ((length ^ complement) != 0xFFFF) return Outcome::kError;
  if (static_cast<uint64_t>(in.end - in.next) < 4 + length) return Outcome::kStop;
  if (c.outPos() + uint64_t{length} > c.room) return Outcome::kStop;
  std::memcpy(c.out, in.next + 4, length);
  c.out += length;
  in.next += 4 + length;
  return Outcome::kBlockEnd;
}

Outcome startBlock(StepContext& c, InflateState& state) {
  const BitInput::Mark start = c.in.mark();
  if (!c.in.need(3)) return Outcome::kStop;
  state.blockState = static_cast<int32_t>(c.in.take(3));
  Outcome outcome = Outcome::kContinue;
  switch (state.blockState >> 1) {
    case 0:
      outcome = copyStoredBlock(c);
      break;
    case 2:
      outcome = readDynamicHeader(c.in, state.format, state.litLen, state.dist);
      break;
    case 3:
      return Outcome::kError;
  }
  if (outcome == Outcome::kStop) {
    c.in.rewind(start);
    state.blockState = kBlockHeaderNext;
  }
  return outcome;
}

}  // namespace

DecodeStatus inflateStep(InflateState& state, const uint8_t* input, uint32_t inputCount,
                         uint8_t* outputArea, uint32_t limit) {
  if (state.inPos > inputCount) return DecodeStatus::kMoreInput;
  StepContext c;
  c.in.start = input;
  c.in.next = input + state.inPos;
  c.in.end = input + inputCount;
  c.in.count = state.bitCount & 7;
  c.in.bits = state.bitBuffer & ((1u << c.in.count) - 1);
  c.output = outputArea;
  c.out = outputArea + state.outPos;
  c.limit = limit;
  c.room = uint64_t{limit} + kOutputRoom;
  c.inputComplete = limit >= inputCount;
  c.deflate64 = state.format == InflateFormat::kDeflate64;

  Outcome outcome = Outcome::kContinue;
  if (state.blockState == kBlockHeaderNext) outcome = startBlock(c, state);
  if (outcome == Outcome::kContinue) {
    switch (state.blockState) {
      case 2:
      case 3:
        outcome = decodeFixedBlock(c);
        break;
      case 4:
      case 5:
        outcome = decodeDynamicBlock(c, state.litLen, state.dist);
        break;
      default:
        outcome = Outcome::kStop;
    }
  }
  if (outcome == Outcome::kBlockEnd) {
    if (state.blockState & 1) state.finished = true;  // BFINAL
    state.blockState = kBlockHeaderNext;
  }

  c.in.giveBackWholeBytes();
  state.inPos = static_cast<uint32_t>(c.in.next - input);
  state.outPos = c.outPos();
  state.bitBuffer = static_cast<uint32_t>(c.in.bits);
  state.bitCount = static_cast<uint8_t>(c.in.count);
  if (outcome == Outcome::kError) return DecodeStatus::kDamaged;
  if (state.finished) return DecodeStatus::kDone;
  return state.outPos >= limit ? DecodeStatus::kOutputFull : DecodeStatus::kMoreInput;
}

}  // namespace extractor
