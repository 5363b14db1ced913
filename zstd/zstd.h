// Zstandard decoder (ZIP method 93), driven pass by pass by the entry
// pipeline: one or more frames (skippable ones skipped), each block decoded
// whole into a window of the decoder's own, from which each call copies
// into the caller's output area. A block is read from the caller's input
// where it lies there whole, else gathered first.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "decode/stream_decoder.h"
#include "zstd/xxhash64.h"

namespace extractor {

namespace zstd {
class BlockDecoder;
}

class ZstdDecoder : public StreamDecoder {
 public:
  ZstdDecoder();
  ~ZstdDecoder() override;
  ZstdDecoder(const ZstdDecoder&) = delete;
  ZstdDecoder& operator=(const ZstdDecoder&) = delete;

  void reset(const StreamStart& start) override;
  DecodeStatus step(const uint8_t* input, uint32_t inputCount, bool inputComplete, uint32_t& inPos,
                    uint8_t* output, uint32_t outputLimit, uint32_t& outPos) override;
  bool hasOutput() const override { return drainPos_ < pos_; }
  bool finished() const override { return stage_ == Stage::kEnd; }

  // Bytes of window allocated, for tests.
  size_t windowCapacity() const { return capacity_; }

 private:
  enum class Stage : uint8_t {
    kMagic,
    kFrameHeader,
    kSkippableSize,
    kSkip,
    kBlockHeader,
    kRawBlock,
    kRleBlock,
    kCompressedBlock,
    kChecksum,
    kEnd,
    kFailed,
  };

  size_t drain(uint8_t* to, size_t room);
  DecodeStatus advance(const uint8_t*& in, const uint8_t* end, bool complete);
  bool gather(const uint8_t*& in, const uint8_t* end, unsigned need);
  DecodeStatus readMagic();
  DecodeStatus startFrame();
  DecodeStatus startBlock();
  DecodeStatus copyRaw(const uint8_t*& in, const uint8_t* end, bool complete);
  DecodeStatus decodeCompressed(const uint8_t*& in, const uint8_t* end, bool complete);
  DecodeStatus endBlock();
  DecodeStatus endFrame();
  size_t blockRoom() const;

  std::unique_ptr<zstd::BlockDecoder> blocks_;
  std::unique_ptr<uint8_t[]> blockInput_;  // a block gathered from several calls
  std::unique_ptr<uint8_t[]> window_;
  size_t capacity_ = 0;  // allocated, less the copy slack

  Stage stage_ = Stage::kMagic;
  DecodeStatus failure_ = DecodeStatus::kDamaged;
  uint64_t entrySize_ = 0;
  uint64_t produced_ = 0;  // by the entry's earlier frames
  unsigned frames_ = 0;

  uint8_t head_[18];  // magic number and frame header, or a block header
  unsigned headSize_ = 0;

  // The frame.
  uint64_t contentSize_ = 0;  // or the most the entry leaves for it
  bool hasContentSize_ = false;
  bool hasChecksum_ = false;
  size_t windowSize_ = 0;  // bytes of history kept, at most the entry's size
  size_t blockMax_ = 0;
  size_t limit_ = 0;  // where the window's buffer ends
  uint64_t frameProduced_ = 0;
  zstd::Xxhash64 hash_;  // of the output copied out so far

  // The block.
  bool lastBlock_ = false;
  size_t blockSize_ = 0;
  size_t gathered_ = 0;
  size_t blockStart_ = 0;

  size_t pos_ = 0;       // the window's end
  size_t drainPos_ = 0;  // output not yet copied out lies from here to pos_
  uint64_t skipLeft_ = 0;
};

}  // namespace extractor
