// Table-driven decoding of the canonical prefix codes of a deflate block.
#pragma once

#include <cstdint>

namespace extractor {

// A decode table entry, looked up with the next input bits (first bit
// lowest):
//   bits 0-7    bits the entry consumes: the codeword plus any extra bits
//               whose value it adds to its base
//   bits 8-15   literal and length entries: the index bits of the table the
//               next lookup uses, so that one bit-field extraction from the
//               input bits at hand yields its index (the flags below are 0)
//               distance entries: codeword length, where the extra bits start
//               subtable pointers: the index bits of the subtable
//   bits 13-15  flags below, except kEntryLiteral, bit 31
//   bits 16-31  literal byte; a length's codeword length (16-21) and base
//               (22-30); a distance's base; subtable offset; special kind
constexpr uint32_t kEntryLiteral = 0x80000000;
constexpr uint32_t kEntrySubtable = 0x4000;
constexpr uint32_t kEntrySpecial = 0x2000;

// Values of special entries.
constexpr uint32_t kSpecialEndOfBlock = 0;
// Needs the bit-by-bit walk: an incomplete code whose walk does not end
// within the primary bits, or a distance code the format rejects.
constexpr uint32_t kSpecialWalk = 1;
// Deflate64's length symbol 285, whose 16 extra bits and distance may take
// more bits than one refill leaves; bits 0-7 hold its codeword length.
constexpr uint32_t kSpecialLongLength = 2;

constexpr unsigned kLitLenTableBits = 11;
constexpr unsigned kDistTableBits = 8;

// Room for the primary table and the worst case of subtables. A subtable of
// 2^k entries under a complete code holds at least k + 1 codes, which bounds
// the subtables of 288 (32) codes to 1024 (512) entries.
constexpr unsigned kLitLenTableSize = (1u << kLitLenTableBits) + 1024;
constexpr unsigned kDistTableSize = (1u << kDistTableBits) + 512;

constexpr unsigned kMaxCodeLength = 15;
// A walk that has not reached a leaf after this many bits gives up with
// symbol 256.
constexpr unsigned kGiveUpBits = 18;
constexpr unsigned kGiveUpSymbol = 256;

// The canonical code (RFC 1951 section 3.2.2) of a set of code lengths, as
// the bit-by-bit walk needs it.
struct CanonicalCode {
  uint16_t count[kMaxCodeLength + 1];
  uint16_t firstCode[kMaxCodeLength + 1];
  uint16_t firstIndex[kMaxCodeLength + 1];
  // Code space taken by all codes, in units of 2^-15; 1 << 15 when complete.
  uint32_t usedSpace;
  uint16_t symbols[288];  // by length, then by symbol
};

struct LitLenTable {
  uint32_t entries[kLitLenTableSize];
  CanonicalCode code;
};

struct DistTable {
  uint32_t entries[kDistTableSize];
  CanonicalCode code;
};

// Which alphabet a table decodes; it decides the entry of each symbol.
enum class Alphabet { kLitLen, kDist, kDeflate64LitLen, kDeflate64Dist, kCodeLength };

// Builds the canonical code of lengths[0..count) and its decode table.
// Returns false for an over-subscribed set of lengths, which no prefix code
// has.
bool buildDecodeTable(const uint8_t* lengths, unsigned count, Alphabet alphabet,
                      unsigned primaryBits, uint32_t* entries, CanonicalCode& code);

// Follows the code bit by bit from the root, as a tree would: a 1 bit where
// no code continues leads back to the root, and the walk gives up with
// kGiveUpSymbol when the kGiveUpBits-th bit still has not ended in a leaf.
// Returns the number of bits taken, or 0 when the walk needs more than
// `available` bits.
unsigned walkCode(const CanonicalCode& code, uint64_t bits, unsigned available, unsigned& symbol);

}  // namespace extractor
