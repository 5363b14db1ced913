// LZMA decoder (ZIP method 14), driven pass by pass by the entry pipeline:
// the ZIP header (version, properties size, the five properties bytes),
// then the range-coded literals and matches into a dictionary of the
// decoder's own, from which each call copies into the caller's output area.
#pragma once

#include <cstdint>
#include <memory>

#include "decode/stream_decoder.h"
#include "lzma/range_decoder.h"

namespace extractor {

namespace lzma {
struct Model;
}

// General purpose flag bit 1 of an LZMA entry: its data end with the end
// marker.
constexpr uint16_t kLzmaEndMarkerFlag = 1 << 1;

class LzmaDecoder final : public StreamDecoder {
 public:
  // Bytes allocated behind the dictionary's end, for copies in words.
  static constexpr uint32_t kCopySlack = 8;

  LzmaDecoder();
  ~LzmaDecoder() override;
  LzmaDecoder(const LzmaDecoder&) = delete;
  LzmaDecoder& operator=(const LzmaDecoder&) = delete;

  // Starts an entry of start.uncompressedSize bytes. With the end-marker
  // flag (bit 1) the data end with the end marker; otherwise after
  // uncompressedSize bytes.
  void reset(const StreamStart& start) override;

  // Starts raw LZMA2 data, as .xz blocks hold them: chunks up to the end
  // chunk, decoded with a dictionary of dictionarySize bytes (at least
  // 4 KiB). step consumes nothing after the end chunk.
  void resetLzma2(uint32_t dictionarySize);

  // kDamaged on bad or cut data, kOutOfMemory when the dictionary cannot
  // be allocated.
  DecodeStatus step(const uint8_t* input, uint32_t inputCount, bool inputComplete, uint32_t& inPos,
                    uint8_t* output, uint32_t outputLimit, uint32_t& outPos) override;

  bool hasOutput() const override { return !finished_; }
  bool finished() const override { return finished_; }
  // Bytes of dictionary allocated, for tests.
  uint32_t dictionarySize() const { return dictSize_; }

 private:
  enum class Outcome { kDone, kStop, kError, kNoMemory };

  Outcome readHeader(const uint8_t*& in, const uint8_t* end, bool complete);
  Outcome allocate(uint32_t dictionary, size_t literalCount);
  bool setProperties(unsigned byte);
  void resetState();
  void startRange(const uint8_t* in);
  Outcome decodeFrom(const uint8_t*& in, const uint8_t* end, bool last, uint32_t limit);
  uint32_t dictionaryLimit(uint32_t room, uint64_t left) const;
  void emit(uint32_t start, uint8_t* output, uint32_t& outPos);
  DecodeStatus status(Outcome outcome, uint32_t outPos, uint32_t outputLimit) const;

  // LZMA2 (lzma2.cpp).
  enum class Chunk : uint8_t { kHeader, kLzma, kCopy };
  DecodeStatus stepLzma2(const uint8_t* input, uint32_t inputCount, bool inputComplete,
                         uint32_t& inPos, uint8_t* output, uint32_t outputLimit, uint32_t& outPos);
  Outcome readChunkHeader(const uint8_t*& in, const uint8_t* end, bool complete);
  Outcome decodeChunk(const uint8_t*& in, const uint8_t* end, bool complete, uint8_t* output,
                      uint32_t outputLimit, uint32_t& outPos);
  Outcome copyChunk(const uint8_t*& in, const uint8_t* end, bool complete, uint8_t* output,
                    uint32_t outputLimit, uint32_t& outPos);
  Outcome endChunk(const uint8_t*& in, const uint8_t* end, bool complete);
  Outcome decode(lzma::RangeDecoder& rc, const uint8_t* inLimit, uint32_t dictLimit);
  uint32_t copyMatch(uint32_t limit);

  std::unique_ptr<lzma::Model> model_;
  std::unique_ptr<uint8_t[]> dict_;
  uint32_t dictSize_ = 0;      // allocated
  uint32_t dictCapacity_ = 0;  // kept from earlier entries
  uint32_t dictPos_ = 0;
  bool dictFull_ = false;  // dictPos_ has wrapped at least once

  uint64_t uncompressedSize_ = 0;
  bool endMarker_ = false;
  bool headerRead_ = false;
  bool finished_ = false;
  uint64_t produced_ = 0;  // bytes decoded so far

  uint32_t range_ = 0;
  uint32_t code_ = 0;
  unsigned lc_ = 0, lp_ = 0, pb_ = 0;
  unsigned state_ = 0;
  uint32_t rep_[4] = {};
  uint32_t matchLeft_ = 0;  // bytes of the current match still to copy

  bool lzma2_ = false;
  uint32_t lzma2Dictionary_ = 0;  // asked for by resetLzma2
  Chunk chunk_ = Chunk::kHeader;
  uint32_t chunkIn_ = 0;   // compressed bytes of the chunk not yet consumed
  uint32_t chunkOut_ = 0;  // bytes of the chunk not yet decoded
  bool needDictionaryReset_ = false;
  bool needProperties_ = false;
};

}  // namespace extractor
