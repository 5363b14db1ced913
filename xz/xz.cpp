#include "xz/xz.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "crypto/crc32.h"

namespace extractor {

using xz::CheckType;
using xz::kUnknownSize;

namespace {

// Within the decoder a phase returning kDone has finished its part and the
// next one goes on; only the step's own result means the data have ended.
constexpr DecodeStatus kGo = DecodeStatus::kDone;

constexpr uint8_t kHeaderMagic[6] = {0xFD, '7', 'z', 'X', 'Z', 0x00};
constexpr uint8_t kFooterMagic[2] = {'Y', 'Z'};
constexpr uint32_t kStreamHeaderSize = 12;
constexpr uint32_t kStreamFooterSize = 12;
constexpr uint32_t kMinDictionary = 4096;
constexpr uint32_t kFilterBuffer = 1 << 16;

uint32_t load32(const uint8_t* p) {
  return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24;
}

uint32_t crc32Of(const uint8_t* p, uint32_t size) {
  return crc32Update(0, p, static_cast<int32_t>(size));
}

}  // namespace

struct XzDecoder::Cursor {
  const uint8_t* in;
  const uint8_t* end;
  bool complete;
  uint8_t* out;
  uint32_t outPos;
  uint32_t outLimit;

  // Where the input runs short: cut data once it is complete.
  DecodeStatus shortInput() const {
    return complete ? DecodeStatus::kDamaged : DecodeStatus::kMoreInput;
  }
};

XzDecoder::XzDecoder() = default;
XzDecoder::~XzDecoder() = default;

void XzDecoder::reset(const StreamStart& start) {
  entrySize_ = start.uncompressedSize;
  phase_ = Phase::kStreamHeader;
  streams_ = 0;
  padding_ = 0;
  fieldSize_ = 0;
}

bool XzDecoder::hasOutput() const {
  return phase_ != Phase::kStreamPadding;
}

bool XzDecoder::finished() const {
  return phase_ == Phase::kStreamPadding && padding_ % 4 == 0;
}

DecodeStatus XzDecoder::step(const uint8_t* input, uint32_t inputCount, bool inputComplete,
                             uint32_t& inPos, uint8_t* output, uint32_t outputLimit,
                             uint32_t& outPos) {
  if (inPos > inputCount || outPos > outputLimit) return DecodeStatus::kDamaged;
  Cursor c{input + inPos, input + inputCount, inputComplete, output, outPos, outputLimit};
  const DecodeStatus status = run(c);
  inPos = static_cast<uint32_t>(c.in - input);
  outPos = c.outPos;
  return status;
}

DecodeStatus XzDecoder::run(Cursor& c) {
  for (;;) {
    DecodeStatus status = kGo;
    switch (phase_) {
      case Phase::kStreamHeader:
        status = gather(c, kStreamHeaderSize) ? readStreamHeader() : c.shortInput();
        break;
      case Phase::kBlockStart:
        status = startBlock(c);
        break;
      case Phase::kBlockHeader:
        status = gather(c, headerSize_) ? readBlockHeader() : c.shortInput();
        break;
      case Phase::kData:
        status = decodeData(c);
        break;
      case Phase::kBlockPadding:
        status = readPadding(c, static_cast<uint32_t>(-blockIn_ & 3), Phase::kCheck);
        break;
      case Phase::kCheck:
        status = gather(c, xz::checkSize(checkId_)) ? readCheck() : c.shortInput();
        break;
      case Phase::kIndex:
        status = readIndex(c);
        break;
      case Phase::kStreamFooter:
        status = gather(c, kStreamFooterSize) ? readStreamFooter() : c.shortInput();
        break;
      case Phase::kStreamPadding:
        if (c.in == c.end) {
          if (!c.complete) return DecodeStatus::kMoreInput;
          return padding_ % 4 == 0 ? DecodeStatus::kDone : DecodeStatus::kDamaged;
        }
        status = readStreamPadding(c);
        break;
    }
    if (status != kGo) return status;
  }
}

// Copies input into field_ until it holds size bytes; false while short.
bool XzDecoder::gather(Cursor& c, uint32_t size) {
  const uint32_t n = std::min(size - fieldSize_, static_cast<uint32_t>(c.end - c.in));
  if (n == 0) return fieldSize_ == size;  // the input may be null then
  std::memcpy(field_ + fieldSize_, c.in, n);
  c.in += n;
  fieldSize_ += n;
  return fieldSize_ == size;
}

// Magic bytes, stream flags (a zero byte and the check ID), their CRC-32.
DecodeStatus XzDecoder::readStreamHeader() {
  fieldSize_ = 0;
  if (std::memcmp(field_, kHeaderMagic, sizeof kHeaderMagic) != 0 ||
      crc32Of(field_ + 6, 2) != load32(field_ + 8)) {
    return DecodeStatus::kDamaged;
  }
  if (field_[6] != 0 || field_[7] > 0x0F || !xz::checkKnown(field_[7])) {
    return DecodeStatus::kUnsupported;
  }
  std::memcpy(streamFlags_, field_ + 6, 2);
  checkId_ = field_[7];
  blocks_ = 0;
  blocksHash_ = 0;
  phase_ = Phase::kBlockStart;
  return kGo;
}

// A block header's first byte gives its size in 4-byte units less one; a
// zero byte begins the index instead.
DecodeStatus XzDecoder::startBlock(Cursor& c) {
  if (c.in == c.end) return c.shortInput();
  fieldSize_ = 0;
  if (*c.in == 0) {
    ++c.in;
    const uint8_t indicator = 0;
    indexCrc_ = crc32Update(0, &indicator, 1);
    indexSize_ = 1;
    indexPart_ = IndexPart::kCount;
    number_ = 0;
    numberBytes_ = 0;
    indexRecords_ = 0;
    indexHash_ = 0;
    phase_ = Phase::kIndex;
    return kGo;
  }
  headerSize_ = (*c.in + 1u) * 4;
  phase_ = Phase::kBlockHeader;
  return kGo;
}

DecodeStatus XzDecoder::readBlockHeader() {
  fieldSize_ = 0;
  if (crc32Of(field_, headerSize_ - 4) != load32(field_ + headerSize_ - 4)) {
    return DecodeStatus::kDamaged;
  }
  const DecodeStatus parsed = xz::parseBlockHeader(field_, headerSize_, block_);
  if (parsed != DecodeStatus::kDone) return parsed;
  // No dictionary larger than the entry, or the block, can use.
  const uint64_t cap =
      std::max<uint64_t>(std::min(entrySize_, block_.uncompressedSize), kMinDictionary);
  lzma_.resetLzma2(static_cast<uint32_t>(std::min<uint64_t>(block_.dictionarySize, cap)));
  lzmaDone_ = false;
  blockIn_ = 0;
  blockOut_ = 0;
  check_.start(static_cast<CheckType>(checkId_));
  if (block_.x86) {
    if (!filtered_) filtered_.reset(new (std::nothrow) uint8_t[kFilterBuffer]);
    if (!filtered_) return DecodeStatus::kOutOfMemory;
    bcj_.reset(block_.x86Start);
    ready_ = final_ = end_ = 0;
  }
  phase_ = Phase::kData;
  return kGo;
}

// The LZMA decoder on the block's input, which ends at its compressed size
// when the header states one.
DecodeStatus XzDecoder::lzmaStep(Cursor& c, uint8_t* output, uint32_t outputLimit,
                                 uint32_t& outPos) {
  uint32_t available = static_cast<uint32_t>(c.end - c.in);
  bool complete = c.complete;
  if (block_.compressedSize != kUnknownSize && block_.compressedSize - blockIn_ <= available) {
    available = static_cast<uint32_t>(block_.compressedSize - blockIn_);
    complete = true;
  }
  uint32_t used = 0;
  const DecodeStatus status =
      lzma_.step(c.in, available, complete, used, output, outputLimit, outPos);
  c.in += used;
  blockIn_ += used;
  return status;
}

DecodeStatus XzDecoder::decodeData(Cursor& c) {
  const DecodeStatus status = block_.x86 ? decodeFiltered(c) : decodeDirect(c);
  return status == kGo ? endData() : status;
}

DecodeStatus XzDecoder::decodeDirect(Cursor& c) {
  const uint32_t before = c.outPos;
  const DecodeStatus status = lzmaStep(c, c.out, c.outLimit, c.outPos);
  check_.update(c.out + before, c.outPos - before);
  blockOut_ += c.outPos - before;
  return status;
}

// LZMA2 decodes into filtered_, the x86 filter converts what it can there,
// and the converted bytes go out from there.
DecodeStatus XzDecoder::decodeFiltered(Cursor& c) {
  for (;;) {
    if (ready_ < final_) {
      if (c.outPos == c.outLimit) return DecodeStatus::kOutputFull;
      const uint32_t n = std::min(final_ - ready_, c.outLimit - c.outPos);
      std::memcpy(c.out + c.outPos, filtered_.get() + ready_, n);
      check_.update(c.out + c.outPos, n);
      blockOut_ += n;
      ready_ += n;
      c.outPos += n;
      continue;
    }
    if (lzmaDone_) {
      if (final_ == end_) return kGo;
      final_ = end_;  // the last bytes stay as they are
      continue;
    }
    std::memmove(filtered_.get(), filtered_.get() + final_, end_ - final_);
    end_ -= final_;
    ready_ = final_ = 0;
    const uint32_t before = end_;
    const DecodeStatus status = lzmaStep(c, filtered_.get(), kFilterBuffer, end_);
    if (decodeFailed(status)) return status;
    lzmaDone_ = status == DecodeStatus::kDone;
    final_ = static_cast<uint32_t>(bcj_.decode(filtered_.get(), end_));
    if (end_ == before && !lzmaDone_) return status;
  }
}

// The block's data have ended: the sizes its header states have to agree,
// and its index record is counted.
DecodeStatus XzDecoder::endData() {
  if ((block_.compressedSize != kUnknownSize && blockIn_ != block_.compressedSize) ||
      (block_.uncompressedSize != kUnknownSize && blockOut_ != block_.uncompressedSize)) {
    return DecodeStatus::kDamaged;
  }
  ++blocks_;
  recordBlock(blocksHash_, headerSize_ + blockIn_ + xz::checkSize(checkId_), blockOut_);
  fieldSize_ = 0;
  phase_ = Phase::kBlockPadding;
  return kGo;
}

// count zero bytes, counted in fieldSize_.
DecodeStatus XzDecoder::readPadding(Cursor& c, uint32_t count, Phase next) {
  for (; fieldSize_ < count; ++fieldSize_) {
    if (c.in == c.end) return c.shortInput();
    if (*c.in++ != 0) return DecodeStatus::kDamaged;
  }
  fieldSize_ = 0;
  phase_ = next;
  return kGo;
}

DecodeStatus XzDecoder::readCheck() {
  fieldSize_ = 0;
  if (!check_.matches(field_)) return DecodeStatus::kDamaged;
  phase_ = Phase::kBlockStart;
  return kGo;
}

void XzDecoder::recordBlock(uint32_t& hash, uint64_t unpadded, uint64_t uncompressed) const {
  uint8_t record[16];
  for (int i = 0; i < 8; ++i) {
    record[i] = static_cast<uint8_t>(unpadded >> 8 * i);
    record[8 + i] = static_cast<uint8_t>(uncompressed >> 8 * i);
  }
  hash = crc32Update(hash, record, sizeof record);
}

// The index: the number of records, an (unpadded size, uncompressed size)
// pair per block, zero bytes up to a multiple of four, a CRC-32 of all
// that. It is read a byte at a time, as its integers may be cut anywhere.
DecodeStatus XzDecoder::readIndex(Cursor& c) {
  while (c.in < c.end || indexPart_ == IndexPart::kCrc) {
    if (indexPart_ == IndexPart::kCrc) {
      if (!gather(c, 4)) break;
      fieldSize_ = 0;
      if (load32(field_) != indexCrc_ || indexHash_ != blocksHash_) return DecodeStatus::kDamaged;
      indexSize_ += 4;
      phase_ = Phase::kStreamFooter;
      return kGo;
    }
    const uint8_t b = *c.in++;
    indexCrc_ = crc32Update(indexCrc_, &b, 1);
    ++indexSize_;
    if (indexPart_ == IndexPart::kPadding) {
      if (b != 0) return DecodeStatus::kDamaged;
      if (indexSize_ % 4 == 0) indexPart_ = IndexPart::kCrc;
      continue;
    }
    if (numberBytes_ == 9 || (b == 0 && numberBytes_ > 0)) return DecodeStatus::kDamaged;
    number_ |= uint64_t{b & 0x7Fu} << (7 * numberBytes_);
    ++numberBytes_;
    if (b & 0x80) continue;
    const DecodeStatus status = indexNumber(number_);
    number_ = 0;
    numberBytes_ = 0;
    if (status != kGo) return status;
  }
  return c.shortInput();
}

DecodeStatus XzDecoder::indexNumber(uint64_t value) {
  const IndexPart afterRecords = indexSize_ % 4 == 0 ? IndexPart::kCrc : IndexPart::kPadding;
  switch (indexPart_) {
    case IndexPart::kCount:
      if (value != blocks_) return DecodeStatus::kDamaged;
      indexPart_ = value == 0 ? afterRecords : IndexPart::kUnpadded;
      break;
    case IndexPart::kUnpadded:
      unpadded_ = value;
      indexPart_ = IndexPart::kUncompressed;
      break;
    case IndexPart::kUncompressed:
      recordBlock(indexHash_, unpadded_, value);
      ++indexRecords_;
      indexPart_ = indexRecords_ < blocks_ ? IndexPart::kUnpadded : afterRecords;
      break;
    case IndexPart::kPadding:
    case IndexPart::kCrc:
      break;
  }
  return kGo;
}

// CRC-32 of the next six bytes, the index's size in 4-byte units less one,
// the stream flags again, magic bytes.
DecodeStatus XzDecoder::readStreamFooter() {
  fieldSize_ = 0;
  if (crc32Of(field_ + 4, 6) != load32(field_) ||
      (uint64_t{load32(field_ + 4)} + 1) * 4 != indexSize_ ||
      std::memcmp(field_ + 8, streamFlags_, 2) != 0 ||
      std::memcmp(field_ + 10, kFooterMagic, 2) != 0) {
    return DecodeStatus::kDamaged;
  }
  ++streams_;
  padding_ = 0;
  phase_ = Phase::kStreamPadding;
  return kGo;
}

// Zero bytes in groups of four, then possibly another stream.
DecodeStatus XzDecoder::readStreamPadding(Cursor& c) {
  while (c.in < c.end && *c.in == 0) {
    ++c.in;
    ++padding_;
  }
  if (c.in == c.end) return kGo;
  if (padding_ % 4 != 0 || *c.in != kHeaderMagic[0]) return DecodeStatus::kDamaged;
  phase_ = Phase::kStreamHeader;
  return kGo;
}

}  // namespace extractor
