#include "zstd/frame_header.h"

namespace extractor::zstd {
namespace {

bool singleSegment(uint8_t descriptor) {
  return descriptor & 0x20;
}
unsigned dictionaryIdSize(uint8_t descriptor) {
  return (1u << (descriptor & 3)) >> 1;
}
unsigned contentSizeSize(uint8_t descriptor) {
  const unsigned flag = descriptor >> 6;
  return flag == 0 ? (singleSegment(descriptor) ? 1 : 0) : 1u << flag;
}

uint64_t loadLittle(const uint8_t* p, unsigned size) {
  uint64_t v = 0;
  for (unsigned i = 0; i < size; ++i) v |= uint64_t{p[i]} << (8 * i);
  return v;
}

}  // namespace

unsigned frameHeaderSize(uint8_t descriptor) {
  return 1 + (singleSegment(descriptor) ? 0 : 1) + dictionaryIdSize(descriptor) +
         contentSizeSize(descriptor);
}

DecodeStatus readFrameHeader(const uint8_t* p, FrameHeader& header) {
  const uint8_t descriptor = *p++;
  if (descriptor & 0x08) return DecodeStatus::kDamaged;  // reserved bit
  header.hasChecksum = descriptor & 0x04;
  if (!singleSegment(descriptor)) {
    const unsigned exponent = *p >> 3;
    const unsigned mantissa = *p & 7;
    const uint64_t base = uint64_t{1} << (10 + exponent);
    header.windowSize = base + base / 8 * mantissa;
    ++p;
  }
  const unsigned idSize = dictionaryIdSize(descriptor);
  // An ID of 0 names no dictionary.
  if (loadLittle(p, idSize) != 0) return DecodeStatus::kUnsupported;
  p += idSize;
  const unsigned sizeSize = contentSizeSize(descriptor);
  header.hasContentSize = sizeSize > 0;
  header.contentSize = loadLittle(p, sizeSize) + (sizeSize == 2 ? 256 : 0);
  if (singleSegment(descriptor)) header.windowSize = header.contentSize;
  if (header.windowSize > kMaxWindow) return DecodeStatus::kDamaged;
  return DecodeStatus::kDone;
}

}  // namespace extractor::zstd
