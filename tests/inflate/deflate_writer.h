// Writes deflate streams bit by bit, so that tests can build any block,
// including ones no compressor would make.
#pragma once

#include <cstdint>
#include <random>
#include <vector>

#include "inflate/inflate.h"

namespace extractor::testing {

class BitWriter {
 public:
  void bits(uint32_t value, unsigned count);      // first bit lowest
  void code(uint32_t codeword, unsigned length);  // a Huffman code, first bit highest
  void alignToByte();
  void byte(uint8_t b);
  size_t bitCount() const { return bytes_.size() * 8 - (pending_ ? 8 - pending_ : 0); }
  const std::vector<uint8_t>& bytes() const { return bytes_; }

 private:
  std::vector<uint8_t> bytes_;
  unsigned pending_ = 0;  // bits used in the last byte; 0 when it is full
};

// Canonical codewords (RFC 1951 section 3.2.2) of a set of code lengths.
std::vector<uint16_t> canonicalCodes(const std::vector<uint8_t>& lengths);

// Length symbol and extra bits for a match length 3..258 (Deflate64:
// 3..65538); distance code and extra bits for a distance 1..32768
// (Deflate64: 1..65536).
void lengthSymbol(unsigned length, unsigned& symbol, unsigned& extraBits, unsigned& extra,
                  InflateFormat format = InflateFormat::kDeflate);
void distanceCode(unsigned distance, unsigned& code, unsigned& extraBits, unsigned& extra,
                  InflateFormat format = InflateFormat::kDeflate);

std::vector<uint8_t> fixedLitLenLengths();
std::vector<uint8_t> fixedDistLengths();

// Symbols of one Huffman block under given code lengths.
class HuffmanBlockWriter {
 public:
  HuffmanBlockWriter(BitWriter& out, std::vector<uint8_t> litLenLengths,
                     std::vector<uint8_t> distLengths,
                     InflateFormat format = InflateFormat::kDeflate);
  void literal(uint8_t b) { symbol(b); }
  void symbol(unsigned litLenSymbol);
  void match(unsigned length, unsigned distance);
  // A length symbol with its extra bits, then a distance code with its
  // extra bits, as given.
  void rawMatch(unsigned symbol, unsigned lengthExtra, unsigned distCode, unsigned distExtra);
  void end() { symbol(256); }

 private:
  BitWriter& out_;
  InflateFormat format_;
  std::vector<uint8_t> litLenLengths_, distLengths_;
  std::vector<uint16_t> litLenCodes_, distCodes_;
};

// Code-length symbols (0..18) with their extra bits.
struct CodeLengthSymbol {
  uint8_t symbol;
  uint8_t extra;
};

// Run-length codes for a list of lengths, with repeat codes where runs
// allow and rng chooses.
std::vector<CodeLengthSymbol> runLengthCode(const std::vector<uint8_t>& lengths, std::mt19937& rng);

void writeStoredBlock(BitWriter& w, bool final, const uint8_t* data, uint16_t length);
void writeFixedHeader(BitWriter& w, bool final);
// HLIT and HDIST come from the sizes of the lists. The code-length code
// gets lengths of its own making unless given.
void writeDynamicHeader(BitWriter& w, bool final, const std::vector<uint8_t>& litLenLengths,
                        const std::vector<uint8_t>& distLengths,
                        const std::vector<CodeLengthSymbol>& litLenRuns,
                        const std::vector<CodeLengthSymbol>& distRuns,
                        std::vector<uint8_t> codeLengthLengths = {});
void writeDynamicHeader(BitWriter& w, bool final, const std::vector<uint8_t>& litLenLengths,
                        const std::vector<uint8_t>& distLengths, std::mt19937& rng);

// Random code lengths for `symbols` symbols of which `used` get a code,
// no code longer than maxLength; complete unless incomplete is set.
std::vector<uint8_t> randomCodeLengths(unsigned symbols, unsigned used, unsigned maxLength,
                                       bool incomplete, std::mt19937& rng);

// The bytes back-references may reach in front of the first output:
// outputArea[-kHistorySize + i] holds historyByte(i).
constexpr unsigned kHistorySize = 65536;
inline uint8_t historyByte(unsigned i) {
  return static_cast<uint8_t>(i * 7 + (i >> 9));
}

struct GeneratedStream {
  std::vector<uint8_t> bytes;
  std::vector<uint8_t> output;  // what it decodes to
};

// A valid stream of random blocks of all three kinds: random code lengths,
// complete and incomplete codes, matches reaching into the history. In
// Deflate64, length symbol 285 mostly gives lengths beyond 258. A portable
// stream is for other decoders too: no history, only complete codes of at
// least two symbols, no length symbols 286 and 287.
GeneratedStream randomStream(std::mt19937& rng, unsigned blocks, unsigned maxSymbolsPerBlock,
                             InflateFormat format = InflateFormat::kDeflate, bool portable = false);

}  // namespace extractor::testing
