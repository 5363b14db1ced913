// xz decoder (ZIP method 95), driven pass by pass by the entry pipeline:
// one or more .xz streams (stream header, blocks, index, stream footer)
// with stream padding between and after them. Each block holds LZMA2 data,
// read by the LZMA decoder, alone or under the x86 branch filter, and a
// check of its uncompressed data. Every size, the index and the checks are
// verified; other filters and unknown checks are refused as unsupported.
#pragma once

#include <cstdint>
#include <memory>

#include "decode/stream_decoder.h"
#include "lzma/lzma.h"
#include "xz/bcj_x86.h"
#include "xz/block_header.h"
#include "xz/check.h"

namespace extractor {

class XzDecoder : public StreamDecoder {
 public:
  XzDecoder();
  ~XzDecoder() override;
  XzDecoder(const XzDecoder&) = delete;
  XzDecoder& operator=(const XzDecoder&) = delete;

  // The entry's uncompressed size caps the dictionaries.
  void reset(const StreamStart& start) override;
  DecodeStatus step(const uint8_t* input, uint32_t inputCount, bool inputComplete, uint32_t& inPos,
                    uint8_t* output, uint32_t outputLimit, uint32_t& outPos) override;
  bool hasOutput() const override;
  bool finished() const override;

  // Bytes of LZMA2 dictionary allocated, for tests.
  uint32_t dictionarySize() const { return lzma_.dictionarySize(); }

 private:
  enum class Phase : uint8_t {
    kStreamHeader,
    kBlockStart,
    kBlockHeader,
    kData,
    kBlockPadding,
    kCheck,
    kIndex,
    kStreamFooter,
    kStreamPadding,
  };
  // Parts of the index after its indicator byte.
  enum class IndexPart : uint8_t { kCount, kUnpadded, kUncompressed, kPadding, kCrc };

  struct Cursor;  // the step's input and output
  DecodeStatus run(Cursor& c);
  bool gather(Cursor& c, uint32_t size);
  DecodeStatus readStreamHeader();
  DecodeStatus startBlock(Cursor& c);
  DecodeStatus readBlockHeader();
  DecodeStatus decodeData(Cursor& c);
  DecodeStatus decodeDirect(Cursor& c);
  DecodeStatus decodeFiltered(Cursor& c);
  DecodeStatus lzmaStep(Cursor& c, uint8_t* output, uint32_t outputLimit, uint32_t& outPos);
  DecodeStatus endData();
  DecodeStatus readPadding(Cursor& c, uint32_t count, Phase next);
  DecodeStatus readCheck();
  DecodeStatus readIndex(Cursor& c);
  DecodeStatus indexNumber(uint64_t value);
  DecodeStatus readStreamFooter();
  DecodeStatus readStreamPadding(Cursor& c);
  void recordBlock(uint32_t& hash, uint64_t unpadded, uint64_t uncompressed) const;

  // The state below is set by reset() and by the phases that begin each
  // part; nothing reads it before.
  LzmaDecoder lzma_;
  xz::BcjX86 bcj_;
  xz::Check check_;
  uint64_t entrySize_;

  Phase phase_ = Phase::kStreamHeader;
  unsigned streams_;  // streams read to their footer
  uint64_t padding_;  // stream padding bytes since the last footer

  // A field of fixed size gathered across calls: headers, footer, check.
  uint8_t field_[1024];
  uint32_t fieldSize_ = 0;

  uint8_t streamFlags_[2];
  unsigned checkId_;

  // The block in progress.
  uint32_t headerSize_;
  xz::BlockHeader block_;
  uint64_t blockIn_;   // compressed bytes consumed
  uint64_t blockOut_;  // uncompressed bytes produced
  bool lzmaDone_;

  // The x86 filter's buffer: [0, ready_) given out, [ready_, final_)
  // filtered and due, [final_, end_) decoded and waiting for what follows.
  std::unique_ptr<uint8_t[]> filtered_;
  uint32_t ready_, final_, end_;

  // Blocks read, and the same counted from the index; each side hashes its
  // (unpadded size, uncompressed size) pairs for comparison.
  uint64_t blocks_;
  uint32_t blocksHash_;
  uint64_t indexRecords_;
  uint32_t indexHash_;
  IndexPart indexPart_;
  uint64_t number_;  // the variable-length integer being read
  unsigned numberBytes_;
  uint64_t unpadded_;
  uint32_t indexCrc_;
  uint64_t indexSize_;
};

}  // namespace extractor
