#include "zstd/zstd.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "zstd/block.h"
#include "zstd/bytes.h"
#include "zstd/frame_header.h"

namespace extractor {

using zstd::kBlockMax;
using zstd::kCopySlack;

namespace {

constexpr DecodeStatus kGoOn = DecodeStatus::kDone;  // a stage's work is done
constexpr size_t kBlockHeaderSize = 3;
constexpr size_t kChecksumSize = 4;
enum BlockType { kRaw, kRle, kCompressed };

// The caller's input may be no buffer at all when it has no bytes.
void copyIn(uint8_t* to, const uint8_t* from, size_t n) {
  if (n) std::memcpy(to, from, n);
}

DecodeStatus starved(bool complete) {
  return complete ? DecodeStatus::kDamaged : DecodeStatus::kMoreInput;
}

}  // namespace

ZstdDecoder::ZstdDecoder() : blocks_(new zstd::BlockDecoder), blockInput_(new uint8_t[kBlockMax]) {}

ZstdDecoder::~ZstdDecoder() = default;

void ZstdDecoder::reset(const StreamStart& start) {
  stage_ = Stage::kMagic;
  entrySize_ = start.uncompressedSize;
  produced_ = 0;
  frames_ = 0;
  headSize_ = 0;
  pos_ = drainPos_ = 0;
}

DecodeStatus ZstdDecoder::step(const uint8_t* input, uint32_t inputCount, bool inputComplete,
                               uint32_t& inPos, uint8_t* output, uint32_t outputLimit,
                               uint32_t& outPos) {
  const uint8_t* in = input + inPos;
  const uint8_t* const inEnd = input + inputCount;
  DecodeStatus status = DecodeStatus::kDone;
  for (;;) {
    if (drainPos_ < pos_) {
      outPos += static_cast<uint32_t>(drain(output + outPos, outputLimit - outPos));
      if (drainPos_ < pos_) {
        status = DecodeStatus::kOutputFull;
        break;
      }
    }
    if (stage_ == Stage::kEnd) break;
    if (stage_ == Stage::kFailed) {
      status = failure_;
      break;
    }
    status = advance(in, inEnd, inputComplete);
    if (decodeFailed(status)) {
      stage_ = Stage::kFailed;
      failure_ = status;
      // Output decoded before the fault is not handed out.
      drainPos_ = pos_;
    }
    if (status != kGoOn) break;
  }
  inPos = static_cast<uint32_t>(in - input);
  return status;
}

// Copies decoded bytes out, hashing them on the way when the frame has a
// checksum.
size_t ZstdDecoder::drain(uint8_t* to, size_t room) {
  const size_t n = std::min(pos_ - drainPos_, room);
  const uint8_t* const from = window_.get() + drainPos_;
  if (hasChecksum_) {
    hash_.update(from, n, to);
  } else {
    std::memcpy(to, from, n);
  }
  drainPos_ += n;
  return n;
}

DecodeStatus ZstdDecoder::advance(const uint8_t*& in, const uint8_t* end, bool complete) {
  switch (stage_) {
    case Stage::kMagic:
      if (headSize_ == 0 && in == end && complete) {
        // The entry may end between frames, after at least one.
        if (frames_ == 0) return DecodeStatus::kDamaged;
        stage_ = Stage::kEnd;
        return kGoOn;
      }
      return gather(in, end, 4) ? readMagic() : starved(complete);
    case Stage::kFrameHeader:
      if (!gather(in, end, 5) || !gather(in, end, 4 + zstd::frameHeaderSize(head_[4]))) {
        return starved(complete);
      }
      return startFrame();
    case Stage::kSkippableSize:
      if (!gather(in, end, 8)) return starved(complete);
      skipLeft_ = zstd::load32(head_ + 4);
      stage_ = Stage::kSkip;
      return kGoOn;
    case Stage::kSkip: {
      const size_t n = static_cast<size_t>(std::min<uint64_t>(skipLeft_, end - in));
      in += n;
      skipLeft_ -= n;
      if (skipLeft_) return starved(complete);
      ++frames_;
      headSize_ = 0;
      stage_ = Stage::kMagic;
      return kGoOn;
    }
    case Stage::kBlockHeader:
      return gather(in, end, kBlockHeaderSize) ? startBlock() : starved(complete);
    case Stage::kRawBlock:
      return copyRaw(in, end, complete);
    case Stage::kRleBlock:
      if (in == end) return starved(complete);
      std::memset(window_.get() + pos_, *in++, blockSize_);
      pos_ += blockSize_;
      return endBlock();
    case Stage::kCompressedBlock:
      return decodeCompressed(in, end, complete);
    case Stage::kChecksum:
      if (!gather(in, end, kChecksumSize)) return starved(complete);
      if (zstd::load32(head_) != static_cast<uint32_t>(hash_.digest())) {
        return DecodeStatus::kDamaged;
      }
      return endFrame();
    default:
      return DecodeStatus::kDamaged;
  }
}

// Collects header bytes in head_ until it holds `need`.
bool ZstdDecoder::gather(const uint8_t*& in, const uint8_t* end, unsigned need) {
  if (headSize_ < need) {
    const size_t n = std::min<size_t>(need - headSize_, end - in);
    copyIn(head_ + headSize_, in, n);
    in += n;
    headSize_ += static_cast<unsigned>(n);
  }
  return headSize_ >= need;
}

DecodeStatus ZstdDecoder::readMagic() {
  const uint32_t magic = zstd::load32(head_);
  if (magic == zstd::kFrameMagic) {
    stage_ = Stage::kFrameHeader;
  } else if ((magic & zstd::kSkippableMask) == zstd::kSkippableMagic) {
    stage_ = Stage::kSkippableSize;
  } else {
    return DecodeStatus::kDamaged;
  }
  return kGoOn;
}

// The frame's window: no larger than it says, nor than what the entry has
// left to produce; the buffer holds it, a block, and room to slide less
// often.
DecodeStatus ZstdDecoder::startFrame() {
  zstd::FrameHeader header;
  const DecodeStatus status = zstd::readFrameHeader(head_ + 4, header);
  if (status != DecodeStatus::kDone) return status;
  const uint64_t left = entrySize_ - produced_;
  if (header.hasContentSize && header.contentSize > left) return DecodeStatus::kDamaged;
  hasContentSize_ = header.hasContentSize;
  contentSize_ = header.hasContentSize ? header.contentSize : left;
  hasChecksum_ = header.hasChecksum;
  windowSize_ = static_cast<size_t>(std::min(header.windowSize, contentSize_));
  blockMax_ = static_cast<size_t>(std::min<uint64_t>(header.windowSize, kBlockMax));
  const size_t spare = std::clamp<size_t>(4 * windowSize_, 1 << 20, 32 << 20);
  limit_ = static_cast<size_t>(std::min<uint64_t>(contentSize_, windowSize_ + blockMax_ + spare));
  if (!window_ || limit_ > capacity_) {
    window_.reset();
    capacity_ = 0;
    window_.reset(new (std::nothrow) uint8_t[limit_ + kCopySlack]);
    if (!window_) return DecodeStatus::kOutOfMemory;
    capacity_ = limit_;
  }
  pos_ = drainPos_ = 0;
  frameProduced_ = 0;
  hash_.reset();
  blocks_->startFrame();
  headSize_ = 0;
  stage_ = Stage::kBlockHeader;
  return kGoOn;
}

// What the next block may produce: up to its maximum, within the buffer
// and within the frame's content.
size_t ZstdDecoder::blockRoom() const {
  const uint64_t contentLeft = contentSize_ - frameProduced_;
  return static_cast<size_t>(std::min<uint64_t>({blockMax_, limit_ - pos_, contentLeft}));
}

DecodeStatus ZstdDecoder::startBlock() {
  const uint32_t header = zstd::load24(head_);
  headSize_ = 0;
  lastBlock_ = header & 1;
  const unsigned type = header >> 1 & 3;
  blockSize_ = header >> 3;
  if (type > kCompressed || blockSize_ > blockMax_) return DecodeStatus::kDamaged;
  if (pos_ + blockMax_ > limit_ && limit_ < contentSize_) {
    // Slide: keep the window's worth of history at the buffer's start.
    const size_t keep = std::min(windowSize_, pos_);
    std::memmove(window_.get(), window_.get() + pos_ - keep, keep);
    pos_ = drainPos_ = keep;
  }
  blockStart_ = pos_;
  gathered_ = 0;
  if (type != kCompressed && blockSize_ > blockRoom()) return DecodeStatus::kDamaged;
  stage_ = type == kRaw   ? Stage::kRawBlock
           : type == kRle ? Stage::kRleBlock
                          : Stage::kCompressedBlock;
  return kGoOn;
}

DecodeStatus ZstdDecoder::copyRaw(const uint8_t*& in, const uint8_t* end, bool complete) {
  const size_t left = blockSize_ - (pos_ - blockStart_);
  const size_t n = std::min<size_t>(left, end - in);
  copyIn(window_.get() + pos_, in, n);
  in += n;
  pos_ += n;
  if (n == left) return endBlock();
  return n > 0 ? kGoOn : starved(complete);
}

DecodeStatus ZstdDecoder::decodeCompressed(const uint8_t*& in, const uint8_t* end, bool complete) {
  const uint8_t* src;
  if (gathered_ == 0 && static_cast<size_t>(end - in) >= blockSize_) {
    src = in;
    in += blockSize_;
  } else {
    const size_t n = std::min<size_t>(blockSize_ - gathered_, end - in);
    copyIn(blockInput_.get() + gathered_, in, n);
    in += n;
    gathered_ += n;
    if (gathered_ < blockSize_) return starved(complete);
    src = blockInput_.get();
  }
  uint8_t* const out = window_.get() + pos_;
  zstd::BlockOutput to{out, out + blockRoom(), window_.get(), frameProduced_ == pos_};
  const DecodeStatus status = blocks_->decode(src, blockSize_, to);
  if (status != DecodeStatus::kDone) return status;
  pos_ += static_cast<size_t>(to.out - out);
  return endBlock();
}

DecodeStatus ZstdDecoder::endBlock() {
  const size_t size = pos_ - blockStart_;
  frameProduced_ += size;
  headSize_ = 0;
  if (!lastBlock_) {
    stage_ = Stage::kBlockHeader;
    return kGoOn;
  }
  if (hasContentSize_ && frameProduced_ != contentSize_) return DecodeStatus::kDamaged;
  if (hasChecksum_) {
    stage_ = Stage::kChecksum;
    return kGoOn;
  }
  return endFrame();
}

DecodeStatus ZstdDecoder::endFrame() {
  produced_ += frameProduced_;
  ++frames_;
  headSize_ = 0;
  stage_ = Stage::kMagic;
  return kGoOn;
}

}  // namespace extractor
