#include "xz/block_header.h"

namespace extractor::xz {

namespace {

constexpr uint8_t kFilterCountMask = 0x03;
constexpr uint8_t kReservedFlags = 0x3C;
constexpr uint8_t kHasCompressedSize = 0x40;
constexpr uint8_t kHasUncompressedSize = 0x80;
constexpr uint64_t kFilterX86 = 0x04;
constexpr uint64_t kFilterLzma2 = 0x21;
constexpr unsigned kMaxDictionaryCode = 40;
constexpr uint32_t kCheckBytes = 4;

// The LZMA2 properties byte: 2 or 3 times a power of two from 4 KiB, code
// 40 meaning 4 GiB less one byte.
uint32_t dictionaryOf(unsigned code) {
  if (code == kMaxDictionaryCode) return UINT32_MAX;
  return (2u | (code & 1)) << (code / 2 + 11);
}

}  // namespace

bool readNumber(const uint8_t*& p, const uint8_t* end, uint64_t& value) {
  value = 0;
  for (unsigned i = 0; i < 9; ++i) {
    if (p == end) return false;
    const uint8_t b = *p++;
    value |= uint64_t{b & 0x7Fu} << (7 * i);
    if (!(b & 0x80)) return b != 0 || i == 0;
  }
  return false;
}

DecodeStatus parseBlockHeader(const uint8_t* bytes, uint32_t size, BlockHeader& header) {
  header = BlockHeader{};
  const uint8_t* p = bytes + 2;
  const uint8_t* const end = bytes + size - kCheckBytes;
  const uint8_t flags = bytes[1];
  if (flags & kReservedFlags) return DecodeStatus::kUnsupported;
  if ((flags & kHasCompressedSize) &&
      (!readNumber(p, end, header.compressedSize) || header.compressedSize == 0)) {
    return DecodeStatus::kDamaged;
  }
  if ((flags & kHasUncompressedSize) && !readNumber(p, end, header.uncompressedSize)) {
    return DecodeStatus::kDamaged;
  }
  const unsigned filters = (flags & kFilterCountMask) + 1u;
  for (unsigned i = 0; i < filters; ++i) {
    uint64_t id, propertiesSize;
    if (!readNumber(p, end, id) || !readNumber(p, end, propertiesSize) ||
        propertiesSize > static_cast<uint64_t>(end - p)) {
      return DecodeStatus::kDamaged;
    }
    const bool last = i + 1 == filters;
    if (last && id == kFilterLzma2 && propertiesSize == 1) {
      if (*p > kMaxDictionaryCode) return DecodeStatus::kUnsupported;
      header.dictionarySize = dictionaryOf(*p);
    } else if (!last && i == 0 && id == kFilterX86 &&
               (propertiesSize == 0 || propertiesSize == 4)) {
      header.x86 = true;
      if (propertiesSize == 4) {
        header.x86Start = p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24;
      }
    } else {
      return DecodeStatus::kUnsupported;  // other filters, or in other places
    }
    p += propertiesSize;
  }
  for (; p < end; ++p) {
    if (*p != 0) return DecodeStatus::kUnsupported;  // padding of a later format
  }
  return DecodeStatus::kDone;
}

}  // namespace extractor::xz
