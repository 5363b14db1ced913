#include "inflate/huffman_block.h"

#include <algorithm>
#include <cstddef>

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

template <bool kFixed>
Outcome decodeBlock(StepContext& c, const LitLenTable& litLen, const DistTable& dist) {
  const uint32_t budgetEnd = kFixed ? c.limit : c.limit - 1024;
  // The fast loop needs 8 readable bytes for a refill and output room for a
  // whole match with its word overwrite.
  const uint8_t* const outFastEnd =
      c.output + std::min<uint64_t>(budgetEnd, c.room - kFastOutputMargin + 1);
  const uint8_t* const inFastEnd = c.in.end - std::min<std::ptrdiff_t>(c.in.end - c.in.start, 7);
  const uint8_t* const inStart = c.in.start;
  const bool inputBudget = kFixed && !c.inputComplete;
  const uint32_t inputBudgetEnd = c.limit - 5;
  for (;;) {
    // Locals, since the byte stores could otherwise alias the context.
    uint64_t bits = c.in.bits;
    unsigned count = c.in.count;
    const uint8_t* next = c.in.next;
    uint8_t* out = c.out;
    auto roomForFastSymbol = [&] {
      return out < outFastEnd && next < inFastEnd &&
             (!inputBudget ||
              static_cast<uint32_t>(next - inStart) - (count >> 3) < inputBudgetEnd);
    };
    auto refill = [&] {
      bits |= loadLittleEndian64(next) << count;
      next += (63 - count) >> 3;
      count |= 56;
    };
    auto consume = [&](uint32_t entry) {
      bits >>= entry & 0xFF;
      count -= entry & 0xFF;
    };
    auto save = [&] {
      c.in.bits = bits;
      c.in.count = count;
      c.in.next = next;
      c.out = out;
    };
    if (roomForFastSymbol()) {
      // A refill leaves at least 56 bits, enough for a literal/length code,
      // its extra bits, a distance code and its extra bits. The next
      // symbol's entry is looked up before a match is copied, so that the
      // two overlap.
      refill();
      uint32_t entry = lookup<kLitLenTableBits>(litLen.entries, bits);
      for (;;) {
        if (entry & kEntryLiteral) {
          consume(entry);
          *out++ = static_cast<uint8_t>(entry >> 16);
          // At least 41 bits are left, enough to find the next entry before
          // the refill, which only adds bits above them; and after a second
          // literal, 26.
          entry = lookup<kLitLenTableBits>(litLen.entries, bits);
          if (!kFixed && (entry & kEntryLiteral) && out < outFastEnd) {
            consume(entry);
            *out++ = static_cast<uint8_t>(entry >> 16);
            entry = lookup<kLitLenTableBits>(litLen.entries, bits);
          }
          if (!roomForFastSymbol()) break;
          refill();
          continue;
        }
        if (entry & kEntrySpecial) {
          if ((entry >> 16) != kSpecialEndOfBlock) break;
          consume(entry);
          save();
          return Outcome::kBlockEnd;
        }
        const uint64_t bitsAtLength = bits;
        const uint32_t length = entryValue(entry, bits);
        const uint32_t lengthEntry = entry;
        consume(entry);
        entry = lookup<kDistTableBits>(dist.entries, bits);
        if (entry & kEntrySpecial) {
          bits = bitsAtLength;
          count += lengthEntry & 0xFF;
          break;
        }
        const uint32_t distance = entryValue(entry, bits);
        consume(entry);
        uint8_t* const match = out;
        out += length;
        if (!roomForFastSymbol()) {
          copyMatchFast(match, distance, length);
          break;
        }
        refill();
        entry = lookup<kLitLenTableBits>(litLen.entries, bits);
        copyMatchFast(match, distance, length);
      }
    }
    save();
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
