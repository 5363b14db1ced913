#include "inflate/dynamic_header.h"

#include <algorithm>
#include <cstring>

namespace extractor {
namespace {

constexpr unsigned kCodeLengthTableBits = 7;

constexpr uint8_t kCodeLengthOrder[19] = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                          11, 4,  12, 3, 13, 2, 14, 1, 15};

struct CodeLengthCode {
  uint32_t entries[1u << kCodeLengthTableBits];
  CanonicalCode code;
};

// The give-up value 256 of the walk counts as a length of 0, by its low
// 8 bits.
bool decodeCodeLength(BitInput& in, const CodeLengthCode& clc, unsigned& symbol) {
  // A whole word refills without the byte loop's branches; the 56 bits
  // it leaves hold the symbol and its repeat bits.
  if (in.end - in.next >= 8) {
    in.refillFast();
  } else {
    in.need(kGiveUpBits);
  }
  uint32_t entry = clc.entries[in.bits & ((1u << kCodeLengthTableBits) - 1)];
  unsigned taken = entry & 0xFF;
  symbol = entry >> 16;
  if (entry & kEntrySpecial) {
    taken = walkCode(clc.code, in.bits, in.count, symbol);
    symbol &= 0xFF;
  }
  if (taken == 0 || taken > in.count) return false;
  in.consume(taken);
  return true;
}

// Runs of a repeat code may reach past count; what lies beyond is dropped.
// A repeat of the previous length has none to repeat at the start of the
// literal/length lengths, and repeats 0 at the start of the distance ones.
Outcome readCodeLengthsWith(BitInput& in, const CodeLengthCode& clc, uint8_t* lengths,
                            unsigned count, bool previousRequired) {
  unsigned i = 0;
  while (i < count) {
    unsigned symbol;
    if (!decodeCodeLength(in, clc, symbol)) return Outcome::kStop;
    unsigned run;
    uint8_t value = 0;
    if (symbol < 16) {
      lengths[i++] = static_cast<uint8_t>(symbol);
      continue;
    } else if (symbol == 16) {
      if (i == 0 && previousRequired) return Outcome::kError;
      if (!in.need(2)) return Outcome::kStop;
      run = 3 + in.take(2);
      if (i > 0) value = lengths[i - 1];
    } else if (symbol == 17) {
      if (!in.need(3)) return Outcome::kStop;
      run = 3 + in.take(3);
    } else {
      if (!in.need(7)) return Outcome::kStop;
      run = 11 + in.take(7);
    }
    const unsigned runEnd = std::min(i + run, count);
    std::memset(lengths + i, value, runEnd - i);
    i = runEnd;
  }
  return Outcome::kContinue;
}

// The reader is a copy the stores of lengths cannot alias, so that it
// stays in registers.
Outcome readCodeLengths(BitInput& in, const CodeLengthCode& clc, uint8_t* lengths, unsigned count,
                        bool previousRequired) {
  BitInput reader = in;
  const Outcome outcome = readCodeLengthsWith(reader, clc, lengths, count, previousRequired);
  in = reader;
  return outcome;
}

}  // namespace

Outcome readDynamicHeader(BitInput& in, InflateFormat format, LitLenTable& litLen,
                          DistTable& dist) {
  if (!in.need(14)) return Outcome::kStop;
  const unsigned litLenCount = in.take(5) + 257;
  const unsigned distCount = in.take(5) + 1;
  const unsigned codeLengthCount = in.take(4) + 4;

  uint8_t codeLengthLengths[19] = {};
  for (unsigned k = 0; k < codeLengthCount; ++k) {
    if (!in.need(3)) return Outcome::kStop;
    codeLengthLengths[kCodeLengthOrder[k]] = static_cast<uint8_t>(in.take(3));
  }
  CodeLengthCode clc;
  if (!buildDecodeTable(codeLengthLengths, 19, Alphabet::kCodeLength, kCodeLengthTableBits,
                        clc.entries, clc.code)) {
    return Outcome::kError;
  }

  uint8_t litLenLengths[288] = {};
  uint8_t distLengths[32] = {};
  Outcome outcome = readCodeLengths(in, clc, litLenLengths, litLenCount, true);
  if (outcome != Outcome::kContinue) return outcome;
  outcome = readCodeLengths(in, clc, distLengths, distCount, false);
  if (outcome != Outcome::kContinue) return outcome;

  const bool deflate64 = format == InflateFormat::kDeflate64;
  if (!buildDecodeTable(litLenLengths, litLenCount,
                        deflate64 ? Alphabet::kDeflate64LitLen : Alphabet::kLitLen,
                        kLitLenTableBits, litLen.entries, litLen.code) ||
      !buildDecodeTable(distLengths, distCount,
                        deflate64 ? Alphabet::kDeflate64Dist : Alphabet::kDist, kDistTableBits,
                        dist.entries, dist.code)) {
    return Outcome::kError;
  }
  return Outcome::kContinue;
}

}  // namespace extractor
