#include "inflate/huffman_block.h"

#include <algorithm>

#include "inflate/code_tables.h"
#include "inflate/fixed_code.h"
#include "inflate/match_copy.h"

namespace extractor {
namespace {

// Margin of output the fast loop keeps for a whole match and its word
// overwrite.
constexpr uint32_t kFastOutputMargin = kMaxMatchLength + kMatchOverwrite;

template <unsigned kPrimaryBits>
inline uint32_t lookup(const uint32_t* entries, uint64_t bits) {
  uint32_t entry = entries[bits & ((1u << kPrimaryBits) - 1)];
  if (entry & kEntrySubtable) {
    entry = entries[(entry >> 16) + ((bits >> kPrimaryBits) & ((1u << ((entry >> 8) & 0x1F)) - 1))];
  }
  return entry;
}

inline uint32_t entryValue(uint32_t entry, uint64_t bits) {
  uint32_t extra = static_cast<uint32_t>(bits & ((uint64_t{1} << (entry & 0xFF)) - 1));
  return (entry >> 16) + (extra >> ((entry >> 8) & 0x1F));
}

template <bool kFixed>
bool withinBudget(const StepContext& c) {
  if (kFixed) {
    return (c.inputComplete || c.in.bytePosition() < c.limit - 5) && c.outPos() < c.limit;
  }
  return c.outPos() < c.limit - 1024;
}

bool walkSymbol(BitInput& in, const CanonicalCode& code, unsigned& symbol) {
  in.need(kGiveUpBits);
  unsigned taken = walkCode(code, in.bits, in.count, symbol);
  if (taken == 0) return false;
  in.consume(taken);
  return true;
}

// One symbol, bit by bit and with every check: near the ends of input and
// output, and for codes the tables leave to the walk.
template <bool kFixed>
Outcome decodeCarefully(StepContext& c, const CanonicalCode& litLen, const CanonicalCode& dist) {
  if (!withinBudget<kFixed>(c)) return Outcome::kStop;
  if (c.outPos() + uint64_t{kMaxMatchLength} > c.room) return Outcome::kStop;
  const BitInput::Mark start = c.in.mark();
  unsigned symbol;
  if (!walkSymbol(c.in, litLen, symbol)) return c.in.rewind(start), Outcome::kStop;
  if (symbol < 256) {
    *c.out++ = static_cast<uint8_t>(symbol);
    return Outcome::kContinue;
  }
  if (symbol == 256) return Outcome::kBlockEnd;
  if (!c.in.need(lengthExtra[symbol])) return c.in.rewind(start), Outcome::kStop;
  uint32_t length = lengthBase[symbol] + c.in.take(lengthExtra[symbol]);
  unsigned code;
  if (!walkSymbol(c.in, dist, code)) return c.in.rewind(start), Outcome::kStop;
  if (code > 29) return Outcome::kError;
  if (!c.in.need(distExtra[code])) return c.in.rewind(start), Outcome::kStop;
  uint32_t distance = distBase[code] + c.in.take(distExtra[code]);
  copyMatchExact(c.out, distance, length);
  c.out += length;
  return Outcome::kContinue;
}

// Room for one more symbol without any check of input or output: 8 bytes
// for a refill and a whole match with its word overwrite.
template <bool kFixed>
inline bool roomForFastSymbol(const StepContext& c, const uint8_t* fastEnd) {
  if (!(c.out < fastEnd && c.in.end - c.in.next >= 8)) return false;
  return !kFixed || c.inputComplete || c.in.bytePosition() < c.limit - 5;
}

template <bool kFixed>
Outcome decodeBlock(StepContext& c, const LitLenTable& litLen, const DistTable& dist) {
  const uint32_t budgetEnd = kFixed ? c.limit : c.limit - 1024;
  const uint8_t* const fastEnd =
      c.output + std::min<uint64_t>(budgetEnd, c.room - kFastOutputMargin + 1);
  BitInput& in = c.in;
  for (;;) {
    if (roomForFastSymbol<kFixed>(c, fastEnd)) {
      // A refill leaves at least 56 bits, enough for a literal/length code,
      // its extra bits, a distance code and its extra bits. The next
      // symbol's entry is looked up before a match is copied, so that the
      // two overlap.
      in.refillFast();
      uint32_t entry = lookup<kLitLenTableBits>(litLen.entries, in.bits);
      for (;;) {
        if (entry & kEntryLiteral) {
          in.consume(entry & 0xFF);
          *c.out++ = static_cast<uint8_t>(entry >> 16);
          if (!roomForFastSymbol<kFixed>(c, fastEnd)) break;
          in.refillFast();
          entry = lookup<kLitLenTableBits>(litLen.entries, in.bits);
          continue;
        }
        if (entry & kEntrySpecial) {
          if ((entry >> 16) != kSpecialEndOfBlock) break;
          in.consume(entry & 0xFF);
          return Outcome::kBlockEnd;
        }
        const BitInput::Mark start = in.mark();
        const uint32_t length = entryValue(entry, in.bits);
        in.consume(entry & 0xFF);
        entry = lookup<kDistTableBits>(dist.entries, in.bits);
        if (entry & kEntrySpecial) {
          in.rewind(start);
          break;
        }
        const uint32_t distance = entryValue(entry, in.bits);
        in.consume(entry & 0xFF);
        uint8_t* const match = c.out;
        c.out += length;
        if (!roomForFastSymbol<kFixed>(c, fastEnd)) {
          copyMatchFast(match, distance, length);
          break;
        }
        in.refillFast();
        entry = lookup<kLitLenTableBits>(litLen.entries, in.bits);
        copyMatchFast(match, distance, length);
      }
    }
    Outcome outcome = decodeCarefully<kFixed>(c, litLen.code, dist.code);
    if (outcome != Outcome::kContinue) return outcome;
  }
}

}  // namespace

Outcome decodeFixedBlock(StepContext& c) {
  return decodeBlock<true>(c, fixedLitLen, fixedDist);
}

Outcome decodeDynamicBlock(StepContext& c, const LitLenTable& litLen, const DistTable& dist) {
  return decodeBlock<false>(c, litLen, dist);
}

}  // namespace extractor
