// The literals section: its header, then raw bytes, one repeated byte, or
// Huffman-coded streams (with a new table, or the previous block's).
#include <cstring>

#include "zstd/block.h"
#include "zstd/bytes.h"

namespace extractor::zstd {

namespace {

enum LiteralsType { kRaw, kRle, kCompressed, kTreeless };

}  // namespace

DecodeStatus BlockDecoder::readLiterals(const uint8_t*& p, const uint8_t* end) {
  const size_t avail = static_cast<size_t>(end - p);
  if (avail < 1) return DecodeStatus::kDamaged;
  const unsigned type = p[0] & 3;
  const unsigned format = p[0] >> 2 & 3;
  if (type == kRaw || type == kRle) {
    // Sizes of 5, 12 or 20 bits.
    const size_t head = format == 3 ? 3 : format == 1 ? 2 : 1;
    if (avail < head) return DecodeStatus::kDamaged;
    size_t size = head == 1 ? p[0] >> 3 : p[0] >> 4 | size_t{p[1]} << 4;
    if (head == 3) size |= size_t{p[2]} << 12;
    if (size > kBlockMax) return DecodeStatus::kDamaged;
    if (type == kRaw) {
      if (avail - head < size) return DecodeStatus::kDamaged;
      std::memcpy(literals_, p + head, size);
      p += head + size;
    } else {
      if (avail - head < 1) return DecodeStatus::kDamaged;
      std::memset(literals_, p[head], size);
      p += head + 1;
    }
    literalCount_ = size;
    return DecodeStatus::kDone;
  }
  // Two sizes of 10, 14 or 18 bits each, after the 4 bits of type and format.
  const size_t head = format < 2 ? 3 : format + 2;
  if (avail < head) return DecodeStatus::kDamaged;
  uint64_t h = 0;
  for (size_t i = 0; i < head; ++i) h |= uint64_t{p[i]} << (8 * i);
  const unsigned width = format < 2 ? 10 : format == 2 ? 14 : 18;
  const size_t size = (h >> 4) & ((1u << width) - 1);
  size_t packed = (h >> (4 + width)) & ((1u << width) - 1);
  if (size > kBlockMax || avail - head < packed) return DecodeStatus::kDamaged;
  const uint8_t* q = p + head;
  p = q + packed;
  if (type == kCompressed) {
    haveHuffman_ = false;
    const size_t table = readHuffmanTable(q, packed, huffman_);
    if (table == 0) return DecodeStatus::kDamaged;
    haveHuffman_ = true;
    q += table;
    packed -= table;
  } else if (!haveHuffman_) {
    // Treeless literals as a frame's first: the table is a dictionary's.
    return DecodeStatus::kUnsupported;
  }
  const bool ok = format == 0 ? decodeHuffman1(huffman_, q, packed, literals_, size)
                              : decodeHuffman4(huffman_, q, packed, literals_, size);
  literalCount_ = size;
  return ok ? DecodeStatus::kDone : DecodeStatus::kDamaged;
}

}  // namespace extractor::zstd
