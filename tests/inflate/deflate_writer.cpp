#include "deflate_writer.h"

#include <algorithm>
#include <numeric>

#include "reference_inflate.h"

namespace extractor::testing {
namespace {

// Long Deflate64 matches would otherwise make outputs of many megabytes.
constexpr size_t kDeflate64OutputCap = 600000;

constexpr uint8_t kOrder[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};

unsigned extraBitsOf(unsigned codeLengthSymbol) {
  return codeLengthSymbol == 16 ? 2 : codeLengthSymbol == 17 ? 3 : codeLengthSymbol == 18 ? 7 : 0;
}

}  // namespace

void BitWriter::bits(uint32_t value, unsigned count) {
  for (unsigned i = 0; i < count; ++i) {
    if (pending_ == 0) bytes_.push_back(0);
    bytes_.back() |= ((value >> i) & 1) << pending_;
    pending_ = (pending_ + 1) % 8;
  }
}

void BitWriter::code(uint32_t codeword, unsigned length) {
  for (unsigned i = length; i-- > 0;) bits(codeword >> i, 1);
}

void BitWriter::alignToByte() {
  pending_ = 0;
}

void BitWriter::byte(uint8_t b) {
  alignToByte();
  bytes_.push_back(b);
}

std::vector<uint16_t> canonicalCodes(const std::vector<uint8_t>& lengths) {
  unsigned count[16] = {};
  for (uint8_t l : lengths) ++count[l];
  count[0] = 0;
  unsigned next[16] = {};
  for (unsigned l = 1, code = 0; l < 16; ++l) {
    code = (code + count[l - 1]) << 1;
    next[l] = code;
  }
  std::vector<uint16_t> codes(lengths.size());
  for (size_t s = 0; s < lengths.size(); ++s) {
    if (lengths[s]) codes[s] = static_cast<uint16_t>(next[lengths[s]]++);
  }
  return codes;
}

void lengthSymbol(unsigned length, unsigned& symbol, unsigned& extraBits, unsigned& extra,
                  InflateFormat format) {
  const auto& t = reference::codeTables(format);
  symbol = 285;
  if (format == InflateFormat::kDeflate64 ? length <= 258 : length < 258) {
    symbol = 257;
    while (symbol < 284 && t.lengthBase[symbol + 1] <= length) ++symbol;
  }
  extraBits = t.lengthExtra[symbol];
  extra = length - t.lengthBase[symbol];
}

void distanceCode(unsigned distance, unsigned& code, unsigned& extraBits, unsigned& extra,
                  InflateFormat format) {
  const auto& t = reference::codeTables(format);
  code = 0;
  while (code < t.lastDistanceCode && t.distBase[code + 1] <= distance) ++code;
  extraBits = t.distExtra[code];
  extra = distance - t.distBase[code];
}

std::vector<uint8_t> fixedLitLenLengths() {
  std::vector<uint8_t> lengths(288);
  for (unsigned s = 0; s < 288; ++s) lengths[s] = s < 144 ? 8 : s < 256 ? 9 : s < 280 ? 7 : 8;
  return lengths;
}

std::vector<uint8_t> fixedDistLengths() {
  return std::vector<uint8_t>(32, 5);
}

HuffmanBlockWriter::HuffmanBlockWriter(BitWriter& out, std::vector<uint8_t> litLenLengths,
                                       std::vector<uint8_t> distLengths, InflateFormat format)
    : out_(out),
      format_(format),
      litLenLengths_(std::move(litLenLengths)),
      distLengths_(std::move(distLengths)),
      litLenCodes_(canonicalCodes(litLenLengths_)),
      distCodes_(canonicalCodes(distLengths_)) {}

void HuffmanBlockWriter::symbol(unsigned s) {
  out_.code(litLenCodes_[s], litLenLengths_[s]);
}

void HuffmanBlockWriter::match(unsigned length, unsigned distance) {
  unsigned ls, lBits, lExtra, dc, dBits, dExtra;
  lengthSymbol(length, ls, lBits, lExtra, format_);
  distanceCode(distance, dc, dBits, dExtra, format_);
  rawMatch(ls, lExtra, dc, dExtra);
}

void HuffmanBlockWriter::rawMatch(unsigned ls, unsigned lengthExtra, unsigned dc,
                                  unsigned distExtra) {
  const auto& t = reference::codeTables(format_);
  symbol(ls);
  out_.bits(lengthExtra, t.lengthExtra[ls]);
  out_.code(distCodes_[dc], distLengths_[dc]);
  out_.bits(distExtra, t.distExtra[dc]);
}

std::vector<CodeLengthSymbol> runLengthCode(const std::vector<uint8_t>& lengths,
                                            std::mt19937& rng) {
  std::vector<CodeLengthSymbol> runs;
  for (size_t i = 0; i < lengths.size();) {
    const uint8_t v = lengths[i];
    size_t run = 1;
    while (i + run < lengths.size() && lengths[i + run] == v) ++run;
    if (v == 0 && run >= 11 && rng() % 4) {
      size_t n = std::min<size_t>(run, 138);
      runs.push_back({18, static_cast<uint8_t>(n - 11)});
      i += n;
    } else if (v == 0 && run >= 3 && rng() % 4) {
      size_t n = std::min<size_t>(run, 10);
      runs.push_back({17, static_cast<uint8_t>(n - 3)});
      i += n;
    } else if (i > 0 && lengths[i - 1] == v && run >= 3 && rng() % 4) {
      size_t n = std::min<size_t>(run, 6);
      runs.push_back({16, static_cast<uint8_t>(n - 3)});
      i += n;
    } else {
      runs.push_back({v, 0});
      ++i;
    }
  }
  return runs;
}

void writeStoredBlock(BitWriter& w, bool final, const uint8_t* data, uint16_t length) {
  w.bits(final, 1);
  w.bits(0, 2);
  w.alignToByte();
  w.bits(length, 16);
  w.bits(static_cast<uint16_t>(~length), 16);
  for (unsigned i = 0; i < length; ++i) w.byte(data[i]);
}

void writeFixedHeader(BitWriter& w, bool final) {
  w.bits(final, 1);
  w.bits(1, 2);
}

void writeDynamicHeader(BitWriter& w, bool final, const std::vector<uint8_t>& litLenLengths,
                        const std::vector<uint8_t>& distLengths,
                        const std::vector<CodeLengthSymbol>& litLenRuns,
                        const std::vector<CodeLengthSymbol>& distRuns,
                        std::vector<uint8_t> codeLengthLengths) {
  if (codeLengthLengths.empty()) {
    std::vector<unsigned> used;
    for (const auto* runs : {&litLenRuns, &distRuns}) {
      for (const auto& r : *runs) {
        if (std::find(used.begin(), used.end(), r.symbol) == used.end()) used.push_back(r.symbol);
      }
    }
    std::mt19937 rng(static_cast<unsigned>(used.size() * 31 + litLenRuns.size()));
    std::vector<uint8_t> depths = randomCodeLengths(
        static_cast<unsigned>(used.size()), static_cast<unsigned>(used.size()), 7, false, rng);
    codeLengthLengths.assign(19, 0);
    for (size_t k = 0; k < used.size(); ++k) codeLengthLengths[used[k]] = depths[k];
  }
  unsigned hclen = 4;
  for (unsigned k = 0; k < 19; ++k) {
    if (codeLengthLengths[kOrder[k]]) hclen = std::max(hclen, k + 1);
  }
  w.bits(final, 1);
  w.bits(2, 2);
  w.bits(static_cast<uint32_t>(litLenLengths.size() - 257), 5);
  w.bits(static_cast<uint32_t>(distLengths.size() - 1), 5);
  w.bits(hclen - 4, 4);
  for (unsigned k = 0; k < hclen; ++k) w.bits(codeLengthLengths[kOrder[k]], 3);
  std::vector<uint16_t> codes = canonicalCodes(codeLengthLengths);
  for (const auto* runs : {&litLenRuns, &distRuns}) {
    for (const auto& r : *runs) {
      w.code(codes[r.symbol], codeLengthLengths[r.symbol]);
      w.bits(r.extra, extraBitsOf(r.symbol));
    }
  }
}

void writeDynamicHeader(BitWriter& w, bool final, const std::vector<uint8_t>& litLenLengths,
                        const std::vector<uint8_t>& distLengths, std::mt19937& rng) {
  writeDynamicHeader(w, final, litLenLengths, distLengths, runLengthCode(litLenLengths, rng),
                     runLengthCode(distLengths, rng));
}

std::vector<uint8_t> randomCodeLengths(unsigned symbols, unsigned used, unsigned maxLength,
                                       bool incomplete, std::mt19937& rng) {
  std::vector<uint8_t> lengths(symbols, 0);
  if (used == 0) return lengths;
  std::vector<uint8_t> depths = {1};
  if (used > 1) {
    depths = {1, 1};
    // Splitting the deepest leaf now and then gives long codes as well.
    while (depths.size() < used) {
      size_t pick = rng() % depths.size();
      if (rng() % 3 == 0) pick = std::max_element(depths.begin(), depths.end()) - depths.begin();
      if (depths[pick] >= maxLength) {
        pick = std::min_element(depths.begin(), depths.end()) - depths.begin();
      }
      ++depths[pick];
      depths.push_back(depths[pick]);
    }
    if (incomplete) {
      size_t pick = rng() % depths.size();
      if (depths[pick] < maxLength) ++depths[pick];
    }
  }
  std::vector<unsigned> order(symbols);
  std::iota(order.begin(), order.end(), 0);
  std::shuffle(order.begin(), order.end(), rng);
  std::shuffle(depths.begin(), depths.end(), rng);
  for (size_t k = 0; k < depths.size(); ++k) lengths[order[k]] = depths[k];
  return lengths;
}

GeneratedStream randomStream(std::mt19937& rng, unsigned blocks, unsigned maxSymbolsPerBlock,
                             InflateFormat format, bool portable) {
  const auto& t = reference::codeTables(format);
  const bool deflate64 = format == InflateFormat::kDeflate64;
  BitWriter w;
  const size_t history = portable ? 0 : kHistorySize;
  std::vector<uint8_t> window(history);
  for (unsigned i = 0; i < history; ++i) window[i] = historyByte(i);

  for (unsigned b = 0; b < blocks; ++b) {
    const bool final = b + 1 == blocks;
    const unsigned kind = rng() % 8;
    if (kind == 0) {
      std::vector<uint8_t> data(rng() % 4 == 0 ? rng() % 3000 : rng() % 40);
      for (auto& byte : data) byte = static_cast<uint8_t>(rng() % 4);
      writeStoredBlock(w, final, data.data(), static_cast<uint16_t>(data.size()));
      window.insert(window.end(), data.begin(), data.end());
      continue;
    }
    std::vector<uint8_t> litLen, dist;
    if (kind <= 2) {
      litLen = fixedLitLenLengths();
      dist = fixedDistLengths();
      writeFixedHeader(w, final);
    } else {
      const unsigned hlit = 257 + rng() % (portable ? 30 : 32);
      const unsigned hdist = (portable ? 2 : 1) + rng() % (portable ? 31 : 32);
      // One draw per statement: argument order would make streams differ
      // between compilers.
      const unsigned litLenUsed = std::max<unsigned>(portable ? 2 : 1, 1 + rng() % hlit);
      const bool litLenIncomplete = !portable && rng() % 4 == 0;
      litLen = randomCodeLengths(hlit, litLenUsed, 15, litLenIncomplete, rng);
      if (litLen[256] == 0) {
        auto used = std::find_if(litLen.begin(), litLen.end(), [](uint8_t l) { return l != 0; });
        std::swap(litLen[256], *used);
      }
      const unsigned distUsed = portable         ? 2 + rng() % (hdist - 1)
                                : rng() % 5 == 0 ? 0
                                                 : 1 + rng() % hdist;
      const bool distIncomplete = !portable && rng() % 4 == 0;
      dist = randomCodeLengths(hdist, distUsed, 15, distIncomplete, rng);
      writeDynamicHeader(w, final, litLen, dist, rng);
    }
    std::vector<unsigned> literals, lengthSymbols, distCodes;
    for (unsigned s = 0; s < litLen.size(); ++s) {
      if (!litLen[s] || s == 256) continue;
      // Symbols 286 and 287 copy nothing; let them in rarely.
      if (s >= 286 && (portable || rng() % 4)) continue;
      (s < 256 ? literals : lengthSymbols).push_back(s);
    }
    for (unsigned c = 0; c < dist.size() && c <= t.lastDistanceCode; ++c) {
      if (dist[c]) distCodes.push_back(c);
    }
    HuffmanBlockWriter block(w, litLen, dist, format);
    const unsigned symbols = rng() % (maxSymbolsPerBlock + 1);
    const unsigned matchShare = 1 + rng() % 9;
    for (unsigned n = 0; n < symbols; ++n) {
      const size_t reach = window.size();
      if (!lengthSymbols.empty() && !distCodes.empty() && rng() % 10 < matchShare) {
        unsigned ls = lengthSymbols[rng() % lengthSymbols.size()];
        unsigned dc = distCodes[rng() % distCodes.size()];
        if (t.distBase[dc] <= reach) {
          unsigned lExtra = rng() & ((1u << t.lengthExtra[ls]) - 1);
          // Mostly beyond deflate's lengths, now and then the longest.
          if (deflate64 && ls == 285 && window.size() < history + kDeflate64OutputCap) {
            const unsigned pick = rng() % 16;
            lExtra = pick == 0 ? 0xFFFF : pick < 4 ? rng() % 256 : 256 + rng() % 3000;
          }
          unsigned dExtra = rng() & ((1u << t.distExtra[dc]) - 1);
          if (t.distBase[dc] + dExtra > reach)
            dExtra = static_cast<unsigned>(reach - t.distBase[dc]);
          block.rawMatch(ls, lExtra, dc, dExtra);
          const unsigned length = t.lengthBase[ls] + lExtra, distance = t.distBase[dc] + dExtra;
          for (unsigned k = 0; k < length; ++k) window.push_back(window[window.size() - distance]);
          continue;
        }
      }
      if (literals.empty()) continue;
      unsigned s = literals[rng() % literals.size()];
      block.literal(static_cast<uint8_t>(s));
      window.push_back(static_cast<uint8_t>(s));
    }
    block.end();
  }
  return {w.bytes(), std::vector<uint8_t>(window.begin() + history, window.end())};
}

}  // namespace extractor::testing
