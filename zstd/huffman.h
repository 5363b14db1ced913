// Huffman-coded literals: the tree description (weights, given directly or
// FSE-coded) and the decoding of one or four backward streams with a table
// that maps the next kMaxHuffmanBits bits to a symbol and its code length.
#pragma once

#include <cstddef>
#include <cstdint>

namespace extractor::zstd {

constexpr unsigned kMaxHuffmanBits = 11;

// Always indexed by kMaxHuffmanBits bits, however long the longest code:
// the lookup then shifts by a constant.
struct HuffmanTable {
  uint16_t cells[1u << kMaxHuffmanBits];  // code length | symbol << 8
};

// Reads a tree description from the start of p[0..size) into table.
// Returns the bytes it takes, 0 when it is bad.
size_t readHuffmanTable(const uint8_t* p, size_t size, HuffmanTable& table);

// Decode exactly `count` symbols into out, from one stream or from four
// (after their 6-byte jump table); false unless every stream ends exactly.
bool decodeHuffman1(const HuffmanTable& table, const uint8_t* src, size_t size, uint8_t* out,
                    size_t count);
bool decodeHuffman4(const HuffmanTable& table, const uint8_t* src, size_t size, uint8_t* out,
                    size_t count);

}  // namespace extractor::zstd
