// The range decoder of PPMd variant I: 32-bit low, range and code without
// carries; where the range gets too small to go on, it is cut to the next
// multiple of 2^15 above low. Reading past the input gives zero bytes and
// marks the overrun, which the caller reports as cut data.
#pragma once

#include <cstdint>

namespace extractor::ppmd {

class RangeDecoder {
 public:
  static constexpr uint32_t kTop = 1u << 24;
  static constexpr uint32_t kBottom = 1u << 15;

  // The first four bytes; false when they cannot start a stream.
  bool init(const uint8_t* in) {
    low = 0;
    range = 0xFFFFFFFF;
    overrun_ = false;
    code = uint32_t{in[0]} << 24 | uint32_t{in[1]} << 16 | uint32_t{in[2]} << 8 | in[3];
    return code != 0xFFFFFFFF;
  }

  void setInput(const uint8_t* in, const uint8_t* end) {
    next = in;
    limit = end;
  }

  // Scales the range to `total` and returns the count the code falls on;
  // false when the range is too small for the total (only damaged data
  // get there).
  bool threshold(uint32_t total, uint32_t& count) {
    range /= total;
    if (range == 0) return false;
    count = code / range;
    return true;
  }
  // The same for a total of 2^bits.
  uint32_t thresholdBits(unsigned bits) {
    range >>= bits;
    return code / range;
  }

  void decode(uint32_t start, uint32_t size) {
    start *= range;
    low += start;
    code -= start;
    range *= size;
    normalize();
  }

  bool overrun() const { return overrun_; }

  uint32_t low = 0;
  uint32_t range = 0;
  uint32_t code = 0;
  const uint8_t* next = nullptr;  // the input not yet read
  const uint8_t* limit = nullptr;

 private:
  void normalize() {
    for (;;) {
      if ((low ^ (low + range)) >= kTop) {
        if (range >= kBottom) break;
        range = (0 - low) & (kBottom - 1);
      }
      code = code << 8 | readByte();
      range <<= 8;
      low <<= 8;
    }
  }
  uint32_t readByte() {
    if (next != limit) return *next++;
    overrun_ = true;
    return 0;
  }

  bool overrun_ = false;
};

}  // namespace extractor::ppmd
