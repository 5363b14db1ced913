#include "inflate/huffman_table.h"

#include <cstring>

#include "inflate/code_tables.h"

namespace extractor {
namespace {

// The entry of a symbol reached after `length` bits.
uint32_t codeEntry(Alphabet alphabet, unsigned symbol, unsigned length) {
  switch (alphabet) {
    case Alphabet::kLitLen:
    case Alphabet::kDeflate64LitLen:
      if (symbol < 256) return kEntryLiteral | symbol << 16 | kLitLenTableBits << 8 | length;
      if (symbol == 256) return kEntrySpecial | kSpecialEndOfBlock << 16 | length;
      if (alphabet == Alphabet::kDeflate64LitLen && symbol == kDeflate64LengthSymbol) {
        return kEntrySpecial | kSpecialLongLength << 16 | length;
      }
      return lengthBase[symbol] << 22 | length << 16 | kDistTableBits << 8 |
             (length + lengthExtra[symbol]);
    case Alphabet::kDist:
    case Alphabet::kDeflate64Dist:
      if (alphabet == Alphabet::kDist && symbol > 29) {
        return kEntrySpecial | kSpecialWalk << 16 | length;
      }
      // Bases from 32769 set bit 31, which nothing tests in a distance entry.
      return distBase[symbol] << 16 | length << 8 | (length + distExtra[symbol]);
    case Alphabet::kCodeLength:
      break;
  }
  return symbol << 16 | length;
}

// Bit reversal a byte at a time.
struct ByteReversal {
  uint8_t reversed[256];
  constexpr ByteReversal() : reversed() {
    for (unsigned b = 0; b < 256; ++b) {
      unsigned r = 0;
      for (unsigned i = 0; i < 8; ++i) r |= ((b >> i) & 1) << (7 - i);
      reversed[b] = static_cast<uint8_t>(r);
    }
  }
};
constexpr ByteReversal kByteReversal;

// The low count (at most 16) bits of value in reverse order.
unsigned reverseBits(unsigned value, unsigned count) {
  const unsigned reversed16 =
      kByteReversal.reversed[value & 0xFF] << 8 | kByteReversal.reversed[(value >> 8) & 0xFF];
  return reversed16 >> (16 - count);
}

unsigned tableCapacity(Alphabet alphabet, unsigned primaryBits) {
  switch (alphabet) {
    case Alphabet::kLitLen:
    case Alphabet::kDeflate64LitLen:
      return kLitLenTableSize;
    case Alphabet::kDist:
    case Alphabet::kDeflate64Dist:
      return kDistTableSize;
    case Alphabet::kCodeLength:
      break;
  }
  return 1u << primaryBits;
}

// An incomplete code can lead back to the root in mid-walk, so each primary
// entry is found by walking its bits; walks longer than the primary bits
// are left to the bit-by-bit walk at decode time.
void fillByWalking(const CanonicalCode& code, Alphabet alphabet, unsigned primaryBits,
                   uint32_t* entries) {
  for (unsigned index = 0; index < 1u << primaryBits; ++index) {
    unsigned symbol = 0;
    unsigned taken = walkCode(code, index, primaryBits, symbol);
    entries[index] =
        taken ? codeEntry(alphabet, symbol, taken) : kEntrySpecial | kSpecialWalk << 16;
  }
}

bool fillComplete(const CanonicalCode& code, Alphabet alphabet, unsigned primaryBits,
                  uint32_t* entries) {
  const unsigned primarySize = 1u << primaryBits;
  // By increasing length: the entries of the shorter codes, which repeat
  // with the period of the table so far, are doubled, then each code of
  // this length takes its one index.
  unsigned length = 1;
  for (; length <= primaryBits && length <= kMaxCodeLength; ++length) {
    const unsigned half = 1u << (length - 1);
    if (length > 1) std::memcpy(entries + half, entries, half * sizeof *entries);
    for (unsigned k = 0; k < code.count[length]; ++k) {
      entries[reverseBits(code.firstCode[length] + k, length)] =
          codeEntry(alphabet, code.symbols[code.firstIndex[length] + k], length);
    }
  }
  if (length > kMaxCodeLength) return true;

  // Longer codes go to subtables, one per primary prefix, as wide as the
  // longest code under that prefix. In canonical order the prefixes never
  // decrease and codes grow with their length, so each prefix comes as one
  // run whose last code is its longest. Only the prefixes listed are read.
  uint8_t longest[1u << kLitLenTableBits];
  uint16_t offset[1u << kLitLenTableBits];
  uint16_t prefixes[288];
  unsigned prefixCount = 0;
  for (unsigned l = length; l <= kMaxCodeLength; ++l) {
    for (unsigned k = 0; k < code.count[l]; ++k) {
      const unsigned prefix = (code.firstCode[l] + k) >> (l - primaryBits);
      if (prefixCount == 0 || prefixes[prefixCount - 1] != prefix) {
        prefixes[prefixCount++] = static_cast<uint16_t>(prefix);
      }
      longest[prefix] = static_cast<uint8_t>(l);
    }
  }
  unsigned next = primarySize;
  const unsigned capacity = tableCapacity(alphabet, primaryBits);
  for (unsigned i = 0; i < prefixCount; ++i) {
    const unsigned prefix = prefixes[i];
    unsigned subBits = longest[prefix] - primaryBits;
    if (next + (1u << subBits) > capacity) return false;
    offset[prefix] = static_cast<uint16_t>(next);
    entries[reverseBits(prefix, primaryBits)] = kEntrySubtable | next << 16 | subBits << 8;
    next += 1u << subBits;
  }
  for (unsigned l = length; l <= kMaxCodeLength; ++l) {
    const unsigned tailBits = l - primaryBits;
    for (unsigned k = 0; k < code.count[l]; ++k) {
      unsigned codeword = code.firstCode[l] + k;
      unsigned prefix = codeword >> tailBits;
      unsigned subSize = 1u << (longest[prefix] - primaryBits);
      uint32_t entry = codeEntry(alphabet, code.symbols[code.firstIndex[l] + k], l);
      for (unsigned i = reverseBits(codeword, tailBits); i < subSize; i += 1u << tailBits) {
        entries[offset[prefix] + i] = entry;
      }
    }
  }
  return true;
}

}  // namespace

bool buildDecodeTable(const uint8_t* lengths, unsigned count, Alphabet alphabet,
                      unsigned primaryBits, uint32_t* entries, CanonicalCode& code) {
  // The symbols are counted and sorted in lanes of consecutive symbols, each
  // with counts and positions of its own: in one lane, every increment of a
  // length's count or position waits for the last one, through memory, when
  // neighbouring symbols share their length, as most do.
  constexpr unsigned kLanes = 4;
  const unsigned laneSize = (count + kLanes - 1) / kLanes;
  uint8_t padded[sizeof code.symbols / sizeof code.symbols[0] + kLanes] = {};
  std::memcpy(padded, lengths, count);
  uint16_t laneCount[kLanes][kMaxCodeLength + 1] = {};
  for (unsigned i = 0; i < laneSize; ++i) {
    for (unsigned k = 0; k < kLanes; ++k) ++laneCount[k][padded[k * laneSize + i]];
  }
  for (unsigned l = 0; l <= kMaxCodeLength; ++l) {
    unsigned sum = 0;
    for (unsigned k = 0; k < kLanes; ++k) sum += laneCount[k][l];
    code.count[l] = static_cast<uint16_t>(sum);
  }

  uint32_t used = 0;
  for (unsigned l = 1; l <= kMaxCodeLength; ++l)
    used += uint32_t{code.count[l]} << (kMaxCodeLength - l);
  if (used > 1u << kMaxCodeLength) return false;
  code.usedSpace = used;

  unsigned next = 0, index = 0;
  for (unsigned l = 1; l <= kMaxCodeLength; ++l) {
    code.firstCode[l] = static_cast<uint16_t>(next);
    code.firstIndex[l] = static_cast<uint16_t>(index);
    index += code.count[l];
    next = (next + code.count[l]) << 1;
  }
  // Unused symbols, and the padding, are sorted too, after all the others,
  // which saves a branch on each symbol; nothing reads them there.
  uint16_t position[kLanes][kMaxCodeLength + 1];
  for (unsigned l = 0; l <= kMaxCodeLength; ++l) {
    unsigned p = l == 0 ? index : code.firstIndex[l];
    for (unsigned k = 0; k < kLanes; ++k) {
      position[k][l] = static_cast<uint16_t>(p);
      p += laneCount[k][l];
    }
  }
  code.firstCode[0] = code.firstIndex[0] = code.count[0] = 0;
  for (unsigned i = 0; i < laneSize; ++i) {
    for (unsigned k = 0; k < kLanes; ++k) {
      const unsigned symbol = k * laneSize + i;
      code.symbols[position[k][padded[symbol]]++] = static_cast<uint16_t>(symbol);
    }
  }

  if (used != 1u << kMaxCodeLength) {
    fillByWalking(code, alphabet, primaryBits, entries);
    return true;
  }
  return fillComplete(code, alphabet, primaryBits, entries);
}

unsigned walkCode(const CanonicalCode& code, uint64_t bits, unsigned available, unsigned& symbol) {
  unsigned codeword = 0, depth = 0;
  for (unsigned taken = 1; taken <= kGiveUpBits; ++taken, bits >>= 1) {
    if (taken > available) return 0;
    codeword = codeword << 1 | static_cast<unsigned>(bits & 1);
    ++depth;
    if (taken == kGiveUpBits) {
      symbol = kGiveUpSymbol;
      return taken;
    }
    // Canonical codes fill the code space from its start, so a node exists
    // exactly when it starts inside the used space.
    if (codeword << (kMaxCodeLength - depth) >= code.usedSpace) {
      codeword = depth = 0;
      continue;
    }
    unsigned k = codeword - code.firstCode[depth];
    if (k < code.count[depth]) {
      symbol = code.symbols[code.firstIndex[depth] + k];
      return taken;
    }
  }
  return 0;
}

}  // namespace extractor
