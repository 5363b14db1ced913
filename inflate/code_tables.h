// Base values and extra-bit counts of the length symbols and distance codes
// (RFC 1951 section 3.2.5), filled by buildInflateTables.
#pragma once

#include <cstdint>

namespace extractor {

// Indexed by literal/length symbol; only 257..287 are meaningful. 286 and
// 287 have base 0 and no extra bits, so they copy nothing.
extern uint32_t lengthBase[288];
extern uint32_t lengthExtra[288];

// Indexed by distance code 0..31; 30 and 31 follow the rule of the others,
// and only Deflate64 accepts them.
extern uint32_t distBase[32];
extern uint32_t distExtra[32];

// Deflate64's length symbol 285, in place of deflate's length 258: lengths
// 3 to 65538.
constexpr unsigned kDeflate64LengthSymbol = 285;
constexpr uint32_t kDeflate64LengthBase = 3;
constexpr unsigned kDeflate64LengthExtra = 16;
constexpr uint32_t kDeflate64MaxLength = kDeflate64LengthBase + 0xFFFF;

}  // namespace extractor
