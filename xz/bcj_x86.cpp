#include "xz/bcj_x86.h"

namespace extractor::xz {

namespace {

constexpr size_t kInstruction = 5;  // opcode and 32-bit displacement

// The displacements of nearby calls are small: their top byte all zeros or
// all ones.
bool isSignByte(uint8_t b) {
  return b == 0x00 || b == 0xFF;
}

// The mask as seen k bytes later: the entries age by one bit per byte and
// fall off after three.
uint32_t aged(uint32_t mask, uint32_t k) {
  for (uint32_t i = 0; i < k; ++i) mask = (mask & 0x77) << 1;
  return mask;
}

// Which recent unconverted E8/E9 bytes still allow a conversion, by
// (mask >> 1): none, or one 1, 2 or 3 bytes back.
constexpr bool kAllowed[8] = {true, true, true, false, true, false, false, false};
// The displacement byte that such an earlier opcode would overlap.
constexpr unsigned kOverlapByte[8] = {0, 1, 2, 2, 3, 3, 3, 3};

uint32_t load32(const uint8_t* p) {
  return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24;
}

}  // namespace

void BcjX86::reset(uint32_t startOffset) {
  position_ = startOffset;
  previous_ = startOffset - kInstruction;
  mask_ = 0;
}

size_t BcjX86::decode(uint8_t* data, size_t size) {
  // A long gap ages every entry out; clamping keeps the distance small.
  if (position_ - previous_ > kInstruction) previous_ = position_ - kInstruction;
  size_t i = 0;
  while (i + kInstruction <= size) {
    if ((data[i] & 0xFE) != 0xE8) {
      ++i;
      continue;
    }
    const uint32_t here = position_ + static_cast<uint32_t>(i);
    const uint32_t gap = here - previous_;
    previous_ = here;
    mask_ = gap > kInstruction ? 0 : aged(mask_, gap);
    const uint8_t top = data[i + 4];
    const uint32_t recent = mask_ >> 1;
    if (!isSignByte(top) || recent >= 0x10 || !kAllowed[recent & 7]) {
      mask_ |= isSignByte(top) ? 0x11 : 0x01;
      ++i;
      continue;
    }
    uint32_t address = load32(data + i + 1);
    uint32_t displacement;
    for (;;) {
      displacement = address - (here + static_cast<uint32_t>(kInstruction));
      if (mask_ == 0) break;
      // Where the byte an earlier opcode overlaps came out a sign byte, the
      // encoder flipped the bits below it and converted once more.
      const unsigned shift = 24 - 8 * kOverlapByte[recent & 7];
      if (!isSignByte(static_cast<uint8_t>(displacement >> shift))) break;
      address = displacement ^ (~0u >> (24 - shift));
    }
    // Bits 25-31 follow bit 24, as the encoder keeps them.
    data[i + 1] = static_cast<uint8_t>(displacement);
    data[i + 2] = static_cast<uint8_t>(displacement >> 8);
    data[i + 3] = static_cast<uint8_t>(displacement >> 16);
    data[i + 4] = displacement >> 24 & 1 ? 0xFF : 0x00;
    mask_ = 0;
    i += kInstruction;
  }
  position_ += static_cast<uint32_t>(i);
  return i;
}

}  // namespace extractor::xz
