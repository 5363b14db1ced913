#include "inflate/huffman_block.h"

#include <algorithm>
#include <cstddef>

#include "inflate/code_tables.h"
#include "inflate/fixed_code.h"
#include "inflate/inflate.h"
#include "inflate/match_copy.h"

namespace extractor {
namespace {

// Margin of output the fast loop keeps for a whole match and its word
// overwrite. Deflate64's long lengths check their own room.
constexpr uint32_t kFastOutputMargin = kMaxMatchLength + kMatchOverwrite;

static_assert(kOutputRoom >= kDeflate64MaxLength + kMatchOverwrite,
              "a long match started just below the limit fits in the room");

// Entries that need more than the primary lookup: a subtable pointer or a
// special entry.
constexpr uint32_t kEntryExceptional = kEntrySubtable | kEntrySpecial;

template <unsigned kPrimaryBits>
inline uint32_t subtableEntry(const uint32_t* entries, uint32_t pointer, uint64_t bits) {
  const uint32_t index =
      static_cast<uint32_t>(bits >> kPrimaryBits) & ((1u << ((pointer >> 8) & 0x1F)) - 1);
  return entries[(pointer >> 16) + index];
}

// A length or distance: the base plus the extra bits that follow the
// codeword. Only for entries without flags. A shift of 64 bits uses just the
// low 6 bits of its count, which hold the codeword length here.
inline uint32_t extraBits(uint32_t entry, uint64_t bits, uint32_t codewordLength) {
  const uint64_t codeAndExtra = bits & ((uint64_t{1} << static_cast<uint8_t>(entry)) - 1);
  return static_cast<uint32_t>(codeAndExtra >> (codewordLength & 0x3F));
}
inline uint32_t lengthValue(uint32_t entry, uint64_t bits) {
  return (entry >> 22) + extraBits(entry, bits, entry >> 16);
}
inline uint32_t distanceValue(uint32_t entry, uint64_t bits) {
  return (entry >> 16) + extraBits(entry, bits, entry >> 8);
}

// The index of the next lookup, into a table of kIndexBits, after a literal
// or length entry. With BMI1 it is one bit-field extraction from the bits
// before the entry's, whose start and width the entry holds, rather than a
// shift and a mask: a cycle less on AMD's processors in the chain that
// leads from one lookup to the next.
template <unsigned kIndexBits, bool kBitField>
inline uint64_t nextIndex(uint64_t bits, uint64_t entry) {
#if defined(__x86_64__) && defined(__GNUC__)
  if constexpr (kBitField) {
    // As an instruction of its own: the intrinsic would need the target
    // on every function it is inlined through.
    uint64_t index;
    asm("bextr %2, %1, %0" : "=r"(index) : "r"(bits), "r"(entry));
    return index;
  }
#endif
  return (bits >> static_cast<uint8_t>(entry)) & ((1u << kIndexBits) - 1);
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
  const bool longLength = c.deflate64 && symbol == kDeflate64LengthSymbol;
  const unsigned extra = longLength ? kDeflate64LengthExtra : lengthExtra[symbol];
  if (!c.in.need(extra)) return c.in.rewind(start), Outcome::kStop;
  uint32_t length = (longLength ? kDeflate64LengthBase : lengthBase[symbol]) + c.in.take(extra);
  if (longLength && c.outPos() + uint64_t{length} > c.room) {
    return c.in.rewind(start), Outcome::kStop;
  }
  unsigned code;
  if (!walkSymbol(c.in, dist, code)) return c.in.rewind(start), Outcome::kStop;
  if (code > (c.deflate64 ? 31u : 29u)) return Outcome::kError;
  if (!c.in.need(distExtra[code])) return c.in.rewind(start), Outcome::kStop;
  uint32_t distance = distBase[code] + c.in.take(distExtra[code]);
  copyMatchExact(c.out, distance, length);
  c.out += length;
  return Outcome::kContinue;
}

// Literals a dynamic block's fast loop writes between two refills; a fixed
// block's input budget is tested before each symbol, so it takes one.
template <bool kFixed>
constexpr unsigned kLiteralsPerRefill = kFixed ? 1 : 3;

// Symbols a dynamic block's fast loop decodes after one test of the
// budget: a run of literals and the symbol after it.
template <bool kFixed>
constexpr unsigned kSymbolsPerTest = kFixed ? 1 : kLiteralsPerRefill<kFixed> + 1;

// The fast loop's helpers are lambdas over its locals: one the compiler
// leaves out of line takes their addresses, and the bit buffer and the
// positions then live in memory, which made the loop a fifth slower.
#if defined(__GNUC__)
#define INFLATE_ALWAYS_INLINE inline __attribute__((always_inline))
#define INFLATE_LAMBDA_INLINE __attribute__((always_inline))
#define INFLATE_UNLIKELY(condition) __builtin_expect((condition) != 0, 0)
// Has the three values computed where it stands, in registers. Without it
// GCC moved parts of the refill after the match copy: the input word's load
// (kept on the stack across the copy's stores; 2 % slower on one machine)
// or the advance of the input pointer (the next refill then waits for it,
// and the distance went to the stack; 2-3 % slower on another).
#define INFLATE_KEEP_COMPUTED(a, b, c) asm("" : "+r"(a), "+r"(b), "+r"(c))
#else
#define INFLATE_ALWAYS_INLINE inline
#define INFLATE_LAMBDA_INLINE
#define INFLATE_UNLIKELY(condition) (condition)
#define INFLATE_KEEP_COMPUTED(a, b, c) ((void)0)
#endif

// Decodes while every symbol's bits are buffered and its output fits without
// a test; returns true at the end of the block. Otherwise it leaves the
// context before the first symbol it did not decode, for decodeCarefully.
template <bool kFixed, bool kBitField>
INFLATE_ALWAYS_INLINE bool decodeFast(StepContext& c, const LitLenTable& litLen,
                                      const DistTable& dist) {
  constexpr unsigned kLiterals = kLiteralsPerRefill<kFixed>;
  const uint32_t budgetEnd = kFixed ? c.limit : c.limit - 1024;
  constexpr unsigned kSymbols = kSymbolsPerTest<kFixed>;
  if (budgetEnd < kSymbols || c.room < kFastOutputMargin + kSymbols) return false;
  // Every symbol of the loop starts below budgetEnd, and a match and its
  // word overwrite fit in the room.
  const uint64_t fastEnd = std::min<uint64_t>(uint64_t{budgetEnd} - (kSymbols - 1),
                                              c.room - kFastOutputMargin - kSymbols + 1);
  const uint8_t* const outFastEnd = c.output + fastEnd;
  // A refill reads 8 bytes, and a second refill may follow the first
  // without a test.
  const uint8_t* const inFastEnd = c.in.end - std::min<std::ptrdiff_t>(c.in.end - c.in.start, 14);
  const uint8_t* const inStart = c.in.start;
  const bool inputBudget = kFixed && !c.inputComplete;
  const uint32_t inputBudgetEnd = c.limit - 5;
  const uint32_t* const litLenEntries = litLen.entries;
  const uint32_t* const distEntries = dist.entries;

  // Locals, since the byte stores could otherwise alias the context.
  uint64_t bits = c.in.bits;
  // Only the low 6 bits count: a whole entry is subtracted, so the bits
  // above them hold what its other fields leave, which saves the masking.
  uint32_t count = c.in.count;
  const uint8_t* next = c.in.next;
  uint8_t* out = c.out;
  auto roomForFastSymbol = [&]() INFLATE_LAMBDA_INLINE {
    return out < outFastEnd && next < inFastEnd &&
           (!inputBudget ||
            static_cast<uint32_t>(next - inStart) - ((count >> 3) & 7) < inputBudgetEnd);
  };
  auto refill = [&]() INFLATE_LAMBDA_INLINE {
    bits |= loadLittleEndian64(next) << (count & 63);
    next += 7 - ((count >> 3) & 7);
    count |= 56;
  };
  auto consume = [&](uint32_t entry) INFLATE_LAMBDA_INLINE {
    bits >>= static_cast<uint8_t>(entry);
    count -= entry;
  };
  auto primaryLitLen = [&]() INFLATE_LAMBDA_INLINE {
    return litLenEntries[bits & ((1u << kLitLenTableBits) - 1)];
  };
  // 64 bits wide, which the bit-field extraction takes its fields from.
  uint64_t entry;
  // Writes the literal of entry and looks up the entry after it.
  auto literal = [&]() INFLATE_LAMBDA_INLINE {
    const uint64_t index = nextIndex<kLitLenTableBits, kBitField>(bits, entry);
    consume(entry);
    *out++ = static_cast<uint8_t>(entry >> 16);
    entry = litLenEntries[index];
  };
  auto save = [&]() INFLATE_LAMBDA_INLINE {
    c.in.bits = bits;
    c.in.count = count & 63;
    c.in.next = next;
    c.out = out;
  };
  if (!roomForFastSymbol()) return false;

  // A refill leaves at least 56 bits: a literal/length code, its extra bits,
  // a distance code and its extra bits take at most 48 (49 in Deflate64,
  // whose long lengths are read apart). The next symbol's entry is looked
  // up before the current one is finished, so that the loads overlap.
  refill();
  entry = primaryLitLen();
  for (;;) {
    if (entry & kEntryLiteral) {
      // Primary literals take at most 11 bits: after the first literal
      // (at most 15 from a subtable) and two more, 19 bits are left, enough
      // to look up the next entry; the refill only adds bits above them.
      literal();
      if (kLiterals > 1 && (entry & kEntryLiteral)) {
        literal();
        if (kLiterals > 2 && (entry & kEntryLiteral)) literal();
      }
      if (kFixed || (entry & kEntryLiteral)) {
        if (!roomForFastSymbol()) break;
        refill();
        continue;
      }
      // The symbol after the literals is decoded without a test of its
      // own: the budget left room for it.
      refill();
    }
    if (INFLATE_UNLIKELY(entry & kEntryExceptional)) {
      if (entry & kEntrySubtable) {
        entry = subtableEntry<kLitLenTableBits>(litLenEntries, entry, bits);
        if (entry & kEntryLiteral) {
          consume(entry);
          *out++ = static_cast<uint8_t>(entry >> 16);
          if (!roomForFastSymbol()) break;
          refill();
          entry = primaryLitLen();
          continue;
        }
      }
      if (entry & kEntrySpecial) {
        // Deflate64's long lengths are left to decodeLongMatch.
        if ((entry >> 16) != kSpecialEndOfBlock) break;
        consume(entry);
        save();
        return true;
      }
    }
    // The distance entry is found before the length is consumed: a
    // distance code the tables leave to the walk, or one decoding rejects,
    // then leaves the context before the length.
    const uint64_t afterLength = bits >> static_cast<uint8_t>(entry);
    uint32_t distEntry = distEntries[nextIndex<kDistTableBits, kBitField>(bits, entry)];
    if (INFLATE_UNLIKELY(distEntry & kEntryExceptional)) {
      if (distEntry & kEntrySubtable) {
        distEntry = subtableEntry<kDistTableBits>(distEntries, distEntry, afterLength);
      }
      if (distEntry & kEntrySpecial) break;
    }
    const uint32_t length = lengthValue(entry, bits);
    bits = afterLength;
    count -= entry;
    entry = distEntry;
    const uint32_t distance = distanceValue(entry, bits);
    consume(entry);
    uint8_t* const match = out;
    out += length;
    if (!roomForFastSymbol()) {
      copyMatchFast(match, distance, length);
      break;
    }
    // The refill before the length left all 64 bits of the buffer holding
    // input, and a match takes at most 49 of them: the 15 after it look
    // up the next entry without waiting for this refill, which only puts
    // the same bits there again.
    entry = primaryLitLen();
    refill();
    INFLATE_KEEP_COMPUTED(bits, count, next);
    copyMatchFast(match, distance, length);
  }
  save();
  return false;
}

template <bool kFixed>
bool decodeFastPortable(StepContext& c, const LitLenTable& litLen, const DistTable& dist) {
  return decodeFast<kFixed, false>(c, litLen, dist);
}

#if defined(__x86_64__) || defined(__i386__)
// The same loop where BMI1's bit-field extraction and BMI2's shifts and
// masks shorten it.
template <bool kFixed>
__attribute__((target("bmi,bmi2"))) bool decodeFastBmi2(StepContext& c, const LitLenTable& litLen,
                                                        const DistTable& dist) {
  return decodeFast<kFixed, true>(c, litLen, dist);
}
#endif

bool fastLoopUsesBmi2 = false;

// Deflate64's length symbol 285, which the fast loop leaves, as its codeword
// and 16 extra bits, then a distance code and 14 extra bits, may take 60
// bits, more than one refill leaves: the distance is read after a refill of
// its own. Out of the loop, where a match of up to 65538 bytes costs the
// call little. False, with the context as before, when the symbol is not
// that one, the budget is used up, the input is short, the match does not
// fit or its distance needs the walk.
template <bool kFixed>
bool decodeLongMatch(StepContext& c, const LitLenTable& litLen, const DistTable& dist) {
  BitInput& in = c.in;
  // Two refills of 8 bytes.
  if (in.end - in.next < 16 || !withinBudget<kFixed>(c)) return false;
  in.refillFast();
  const BitInput::Mark start = in.mark();
  uint32_t entry = litLen.entries[in.bits & ((1u << kLitLenTableBits) - 1)];
  if (entry & kEntrySubtable) {
    entry = subtableEntry<kLitLenTableBits>(litLen.entries, entry, in.bits);
  }
  if (!(entry & kEntrySpecial) || (entry >> 16) != kSpecialLongLength) return false;
  const unsigned codewordLength = entry & 0xFF;
  const uint32_t length =
      kDeflate64LengthBase + static_cast<uint32_t>((in.bits >> codewordLength) & 0xFFFF);
  if (c.outPos() + uint64_t{length} + kMatchOverwrite > c.room) return false;
  in.consume(codewordLength + kDeflate64LengthExtra);
  in.refillFast();
  uint32_t distEntry = dist.entries[in.bits & ((1u << kDistTableBits) - 1)];
  if (distEntry & kEntrySubtable) {
    distEntry = subtableEntry<kDistTableBits>(dist.entries, distEntry, in.bits);
  }
  if (distEntry & kEntrySpecial) {
    in.rewind(start);
    return false;
  }
  const uint32_t distance = distanceValue(distEntry, in.bits);
  in.consume(distEntry & 0xFF);
  copyMatchFast(c.out, distance, length);
  c.out += length;
  return true;
}

template <bool kFixed>
Outcome decodeBlock(StepContext& c, const LitLenTable& litLen, const DistTable& dist) {
  for (;;) {
#if defined(__x86_64__) || defined(__i386__)
    const bool ended = fastLoopUsesBmi2 ? decodeFastBmi2<kFixed>(c, litLen, dist)
                                        : decodeFastPortable<kFixed>(c, litLen, dist);
#else
    const bool ended = decodeFastPortable<kFixed>(c, litLen, dist);
#endif
    if (ended) return Outcome::kBlockEnd;
    if (c.deflate64 && decodeLongMatch<kFixed>(c, litLen, dist)) continue;
    Outcome outcome = decodeCarefully<kFixed>(c, litLen.code, dist.code);
    if (outcome != Outcome::kContinue) return outcome;
  }
}

}  // namespace

bool selectFastLoop(bool allowBmi2) {
#if defined(__x86_64__) || defined(__i386__)
  __builtin_cpu_init();
  fastLoopUsesBmi2 = allowBmi2 && __builtin_cpu_supports("bmi") && __builtin_cpu_supports("bmi2");
#else
  (void)allowBmi2;
#endif
  return fastLoopUsesBmi2;
}

Outcome decodeFixedBlock(StepContext& c) {
  if (c.deflate64) return decodeBlock<true>(c, fixedLitLen64, fixedDist64);
  return decodeBlock<true>(c, fixedLitLen, fixedDist);
}

Outcome decodeDynamicBlock(StepContext& c, const LitLenTable& litLen, const DistTable& dist) {
  return decodeBlock<false>(c, litLen, dist);
}

}  // namespace extractor
