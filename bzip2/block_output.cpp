// The block's bytes: the inverse Burrows-Wheeler transform links each byte
// to its successor, and the walk along the links undoes the initial run
// coding (four equal bytes, then a count of further copies).
#include <algorithm>
#include <cstring>

#include "bzip2/block_crc.h"
#include "bzip2/bzip2.h"
#include "bzip2/random_table.h"

namespace extractor {

using bzip2::blockCrcByte;

bool Bzip2Decoder::startOutput() {
  if (origin_ >= blockSize_) return false;
  // A byte's successor is found where its row lands in sorted order: the
  // k-th occurrence of a value sits at the value's start plus k.
  uint32_t start[256];
  uint32_t sum = 0;
  for (unsigned b = 0; b < 256; ++b) {
    start[b] = sum;
    sum += byteCounts_[b];
  }
  uint32_t* const links = links_.get();
  for (uint32_t i = 0; i < blockSize_; ++i) {
    const uint8_t byte = static_cast<uint8_t>(links[i]);
    links[start[byte]++] |= i << 8;
  }
  next_ = links[origin_] >> 8;
  bytesLeft_ = blockSize_;
  repeatLeft_ = 0;
  sameCount_ = 0;
  randomGap_ = 0;
  randomIndex_ = 0;
  blockCrc_ = 0xFFFFFFFF;
  return true;
}

// Blocks of the old randomised kind flip the bits of bytes spaced as the
// table says.
bool Bzip2Decoder::randomBit() {
  if (randomGap_ == 0) {
    randomGap_ = bzip2::kRandomGaps[randomIndex_];
    randomIndex_ = (randomIndex_ + 1) & 511;
  }
  return --randomGap_ == 1;
}

uint8_t* Bzip2Decoder::writeOutput(uint8_t* out, uint8_t* const end) {
  const uint32_t* const links = links_.get();
  uint32_t crc = blockCrc_;
  uint32_t next = next_;
  uint32_t left = bytesLeft_;
  uint8_t last = lastByte_;
  unsigned same = sameCount_;
  const bool randomised = randomised_;
  for (;;) {
    if (repeatLeft_ != 0) {
      const uint32_t n = static_cast<uint32_t>(std::min<size_t>(repeatLeft_, end - out));
      std::memset(out, last, n);
      for (uint32_t i = 0; i < n; ++i) crc = blockCrcByte(crc, last);
      out += n;
      repeatLeft_ -= n;
      if (repeatLeft_ != 0) break;
    }
    if (left == 0 || out == end) break;
    while (left != 0 && out != end) {
      const uint32_t link = links[next];
      uint8_t byte = static_cast<uint8_t>(link);
      next = link >> 8;
      left--;
      if (randomised && randomBit()) byte ^= 1;
      if (same == 4) {
        repeatLeft_ = byte;
        same = 0;
        break;
      }
      same = (same != 0 && byte == last) ? same + 1 : 1;
      last = byte;
      *out++ = byte;
      crc = blockCrcByte(crc, byte);
    }
  }
  blockCrc_ = crc;
  next_ = next;
  bytesLeft_ = left;
  lastByte_ = last;
  sameCount_ = same;
  return out;
}

bool Bzip2Decoder::endBlock() {
  const uint32_t crc = ~blockCrc_;
  if (crc != storedBlockCrc_) return false;
  streamCrc_ = (streamCrc_ << 1 | streamCrc_ >> 31) ^ crc;
  return true;
}

}  // namespace extractor
