#include "reference_inflate.h"

#include <algorithm>
#include <cstdlib>

namespace extractor::reference {
namespace {

constexpr uint32_t kRoom = 66560;
constexpr uint16_t kInner = 0x8000;
constexpr uint8_t kOrder[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};

struct CodeLength {
  uint16_t symbol;
  uint8_t length;
};

// Thrown when a read needs a byte beyond the buffered input, or a match
// does not fit; the symbol being decoded is then undone.
struct InputShort {};

CodeTables buildCodeTables(InflateFormat format) {
  CodeTables t = {};
  for (unsigned s = 257; s <= 264; ++s) t.lengthBase[s] = s - 254;
  for (unsigned e = 1; e <= 5; ++e) {
    for (unsigned k = 0; k < 4; ++k) {
      t.lengthBase[261 + 4 * e + k] = (4 + k) * (1u << e) + 3;
      t.lengthExtra[261 + 4 * e + k] = e;
    }
  }
  t.lengthBase[285] = 258;
  for (unsigned c = 0; c < 4; ++c) t.distBase[c] = c + 1;
  for (unsigned e = 1; e <= 14; ++e) {
    t.distBase[2 * e + 2] = 2 * (1u << e) + 1;
    t.distBase[2 * e + 3] = 3 * (1u << e) + 1;
    t.distExtra[2 * e + 2] = t.distExtra[2 * e + 3] = e;
  }
  t.lastDistanceCode = 29;
  if (format == InflateFormat::kDeflate64) {
    t.lengthBase[285] = 3;
    t.lengthExtra[285] = 16;
    t.lastDistanceCode = 31;
  }
  return t;
}

class Decoder {
 public:
  Decoder(State& s, const uint8_t* input, uint32_t inputCount, uint8_t* out, uint32_t limit)
      : s_(s), input_(input), inputCount_(inputCount), out_(out), limit_(limit) {}

  ZipError step();

 private:
  struct Mark {
    uint32_t inPos, outPos, bitBuffer;
    uint8_t bitCount;
    int32_t blockState;
  };
  Mark mark() const { return {s_.inPos, s_.outPos, s_.bitBuffer, s_.bitCount, s_.blockState}; }
  void rewind(const Mark& m) {
    s_.inPos = m.inPos;
    s_.outPos = m.outPos;
    s_.bitBuffer = m.bitBuffer;
    s_.bitCount = m.bitCount;
    s_.blockState = m.blockState;
  }

  void loadByte() {
    if (s_.inPos >= inputCount_) throw InputShort{};
    s_.bitBuffer |= uint32_t{input_[s_.inPos++]} << s_.bitCount;
    s_.bitCount += 8;
  }
  uint32_t getBits(unsigned n) {
    if (n > 15) return 0;
    if (s_.bitCount < n) {
      loadByte();
      if (s_.bitCount < n) loadByte();
    }
    uint32_t v = s_.bitBuffer & ((1u << n) - 1);
    s_.bitBuffer >>= n;
    s_.bitCount = static_cast<uint8_t>(s_.bitCount - n);
    return v;
  }
  // Extra bits of any count, 16 included, in reads of at most 8.
  uint32_t getExtraBits(unsigned n) {
    const unsigned low = n > 8 ? 8 : n;
    uint32_t v = getBits(low);
    if (n > low) v |= getBits(n - low) << low;
    return v;
  }
  uint32_t getCodeBits(unsigned n) {
    uint32_t v = 0;
    for (unsigned i = 0; i < n; ++i) v = v * 2 + getBits(1);
    return v;
  }

  unsigned decodeSymbol(const HuffmanNode* tree) {
    unsigned index = 0, steps = 0;
    while (tree[index].symbol == kInner) {
      index = getBits(1) ? tree[index].oneChild : index + 1;
      if (steps > 16) return 256;
      ++steps;
    }
    return tree[index].symbol;
  }

  bool buildHuffmanTree(CodeLength* list, unsigned count, HuffmanNode* nodes, unsigned capacity);
  ZipError readCodeLengths(CodeLength* list, unsigned count, const HuffmanNode* codeLengthTree,
                           bool previousRequired);
  ZipError readDynamicHeader();
  ZipError storedBlock();
  bool fixedSymbol(ZipError& error);
  bool dynamicSymbol(ZipError& error);
  bool copyMatch(uint32_t length, unsigned distanceCode, ZipError& error);
  bool outputRoomLeft() const { return uint64_t{s_.outPos} + 258 <= uint64_t{limit_} + kRoom; }
  // A longer match, of Deflate64, is undone when it does not fit.
  void needRoomFor(uint32_t length) {
    if (uint64_t{s_.outPos} + length > uint64_t{limit_} + kRoom) throw InputShort{};
  }
  const CodeTables& tables() const { return codeTables(s_.format); }

  State& s_;
  const uint8_t* input_;
  uint32_t inputCount_;
  uint8_t* out_;
  uint32_t limit_;
};

bool Decoder::buildHuffmanTree(CodeLength* list, unsigned count, HuffmanNode* nodes,
                               unsigned capacity) {
  uint32_t space = 0;
  for (unsigned i = 0; i < count; ++i) {
    if (list[i].length) space += 1u << (15 - list[i].length);
  }
  if (space > 1u << 15) return false;

  for (unsigned i = 0; i < capacity; ++i) nodes[i] = {kInner, 0, 0};
  std::sort(list, list + count, [](const CodeLength& a, const CodeLength& b) {
    return a.length * 288 + a.symbol < b.length * 288 + b.symbol;
  });
  unsigned path[16] = {0};
  unsigned level = 0, lastUsed = 0;
  for (unsigned e = 0; e < count; ++e) {
    const unsigned length = list[e].length;
    if (length == 0) continue;
    while (nodes[path[level]].depth < length) {
      HuffmanNode& parent = nodes[path[level]];
      unsigned child;
      if (nodes[path[level] + 1].depth != 0) {
        if (parent.oneChild != 0) {
          child = parent.oneChild;
        } else {
          child = ++lastUsed;
          parent.oneChild = static_cast<uint16_t>(child);
          nodes[child].depth = static_cast<uint8_t>(parent.depth + 1);
        }
      } else {
        child = path[level] + 1;
        nodes[child].depth = static_cast<uint8_t>(parent.depth + 1);
        ++lastUsed;
      }
      if (lastUsed + 1 >= capacity) std::abort();
      path[++level] = child;
    }
    nodes[path[level]].symbol = list[e].symbol;
    while (level > 0) {
      --level;
      if (nodes[path[level]].oneChild == 0) break;
    }
  }
  return true;
}

ZipError Decoder::readCodeLengths(CodeLength* list, unsigned count,
                                  const HuffmanNode* codeLengthTree, bool previousRequired) {
  unsigned i = 0;
  while (i < count) {
    unsigned s = decodeSymbol(codeLengthTree) & 0xFF;
    if (s <= 15) {
      list[i++].length = static_cast<uint8_t>(s);
    } else if (s == 16) {
      if (i == 0 && previousRequired) return zipErrNotZipFile;
      unsigned r = 3 + getBits(2);
      uint8_t previous = i == 0 ? 0 : list[i - 1].length;
      for (unsigned k = 0; k < r; ++k, ++i) list[i].length = previous;
    } else if (s == 17) {
      i += 3 + getBits(3);
    } else {
      i += 11 + getBits(7);
    }
  }
  return zipErrNone;
}

ZipError Decoder::readDynamicHeader() {
  const unsigned hlit = getBits(5) + 257;
  const unsigned hdist = getBits(5) + 1;
  const unsigned hclen = getBits(4) + 4;
  CodeLength codeLengths[19] = {};
  for (unsigned k = 0; k < hclen; ++k) {
    codeLengths[kOrder[k]] = {kOrder[k], static_cast<uint8_t>(getBits(3))};
  }
  HuffmanNode codeLengthTree[kCodeLengthNodes];
  if (!buildHuffmanTree(codeLengths, 19, codeLengthTree, kCodeLengthNodes)) {
    return zipErrNotZipFile;
  }
  // A final repeat run may reach past the count; the lists have room for it.
  CodeLength litLen[576] = {};
  for (unsigned i = 0; i < hlit; ++i) litLen[i].symbol = static_cast<uint16_t>(i);
  if (readCodeLengths(litLen, hlit, codeLengthTree, true) != zipErrNone) return zipErrNotZipFile;
  CodeLength dist[64] = {};
  for (unsigned i = 0; i < hdist; ++i) dist[i].symbol = static_cast<uint16_t>(i);
  if (readCodeLengths(dist, hdist, codeLengthTree, false) != zipErrNone) return zipErrNotZipFile;
  if (!buildHuffmanTree(litLen, hlit, s_.litLenTree, kLitLenNodes) ||
      !buildHuffmanTree(dist, hdist, s_.distTree, kDistNodes)) {
    return zipErrNotZipFile;
  }
  return zipErrNone;
}

ZipError Decoder::storedBlock() {
  s_.bitBuffer = 0;
  s_.bitCount = 0;
  const uint32_t p = s_.inPos;
  if (uint64_t{p} + 4 > inputCount_) throw InputShort{};
  const uint32_t len = input_[p] | input_[p + 1] << 8;
  const uint32_t nlen = input_[p + 2] | input_[p + 3] << 8;
  if ((len ^ nlen) != 0xFFFF) return zipErrNotZipFile;
  if (uint64_t{p} + 4 + len > inputCount_) throw InputShort{};
  if (uint64_t{s_.outPos} + len > uint64_t{limit_} + kRoom) throw InputShort{};
  for (uint32_t k = 0; k < len; ++k) out_[s_.outPos + k] = input_[p + 4 + k];
  s_.inPos += len + 4;
  s_.outPos += len;
  s_.blockState = 8;
  return zipErrNone;
}

// Each returns false when the block ends or fails (error set on failure).
// Copies one byte at a time, so a distance shorter than the length repeats
// the bytes just written.
bool Decoder::copyMatch(uint32_t length, unsigned distanceCode, ZipError& error) {
  const CodeTables& t = tables();
  if (distanceCode > t.lastDistanceCode) {
    error = zipErrNotZipFile;
    return false;
  }
  uint32_t distance = t.distBase[distanceCode] + getBits(t.distExtra[distanceCode]);
  s_.seen.farthestDistance = std::max(s_.seen.farthestDistance, distance);
  s_.seen.longestLength = std::max(s_.seen.longestLength, length);
  for (uint32_t k = 0; k < length; ++k, ++s_.outPos) {
    out_[s_.outPos] = out_[static_cast<int64_t>(s_.outPos) - distance];
  }
  return true;
}

bool Decoder::fixedSymbol(ZipError& error) {
  const CodeTables& t = tables();
  unsigned c = getCodeBits(7);
  unsigned symbol;
  if (c == 0) {
    s_.blockState = 8;
    return false;
  } else if (c <= 23) {
    symbol = 256 + c;
  } else if (c <= 95) {
    out_[s_.outPos++] = static_cast<uint8_t>(2 * c - 48 + getCodeBits(1));
    return true;
  } else if (c <= 99) {
    symbol = 2 * c + getCodeBits(1) + 88;
  } else {
    out_[s_.outPos++] = static_cast<uint8_t>((4 * c + getCodeBits(2)) % 256);
    return true;
  }
  uint32_t length = t.lengthBase[symbol] + getExtraBits(t.lengthExtra[symbol]);
  needRoomFor(length);
  unsigned d = getCodeBits(5);
  return copyMatch(length, d, error);
}

bool Decoder::dynamicSymbol(ZipError& error) {
  const CodeTables& t = tables();
  unsigned symbol = decodeSymbol(s_.litLenTree);
  if (symbol < 256) {
    out_[s_.outPos++] = static_cast<uint8_t>(symbol);
    return true;
  }
  if (symbol == 256) {
    s_.blockState = 8;
    return false;
  }
  uint32_t length = t.lengthBase[symbol] + getExtraBits(t.lengthExtra[symbol]);
  needRoomFor(length);
  unsigned d = decodeSymbol(s_.distTree);
  return copyMatch(length, d, error);
}

ZipError Decoder::step() {
  if (s_.inPos > inputCount_) return zipErrNone;
  if (s_.blockState == 8) {
    const Mark start = mark();
    try {
      unsigned c = getBits(3);
      s_.blockState = static_cast<int32_t>(c);
      if (c <= 5) ++s_.seen.blocks[c >> 1];
      if (c <= 1) return storedBlock();
      if (c >= 6) return zipErrNotZipFile;
      if (c >= 4 && readDynamicHeader() != zipErrNone) return zipErrNotZipFile;
    } catch (const InputShort&) {
      rewind(start);
      return zipErrNone;
    }
  }
  const bool fixed = s_.blockState == 2 || s_.blockState == 3;
  if (!fixed && s_.blockState != 4 && s_.blockState != 5) return zipErrNone;
  // With no more input to come, the input budget of fixed blocks gives way
  // to the bound of the buffered bytes.
  const bool inputComplete = limit_ >= inputCount_;
  for (;;) {
    if (fixed ? !((inputComplete || s_.inPos < limit_ - 5) && s_.outPos < limit_)
              : !(s_.outPos < limit_ - 1024)) {
      return zipErrNone;
    }
    if (!outputRoomLeft()) return zipErrNone;
    const Mark start = mark();
    ZipError error = zipErrNone;
    try {
      if (!(fixed ? fixedSymbol(error) : dynamicSymbol(error))) return error;
    } catch (const InputShort&) {
      rewind(start);
      return zipErrNone;
    }
  }
}

}  // namespace

const CodeTables& codeTables(InflateFormat format) {
  static const CodeTables deflate = buildCodeTables(InflateFormat::kDeflate);
  static const CodeTables deflate64 = buildCodeTables(InflateFormat::kDeflate64);
  return format == InflateFormat::kDeflate64 ? deflate64 : deflate;
}

ZipError inflateStep(State& state, const uint8_t* input, uint32_t inputCount, uint8_t* outputArea,
                     uint32_t limit) {
  return Decoder(state, input, inputCount, outputArea, limit).step();
}

}  // namespace extractor::reference
