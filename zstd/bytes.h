// Little-endian loads and the highest set bit, as the format reads them.
#pragma once

#include <cstdint>
#include <cstring>

namespace extractor::zstd {

inline uint64_t load64(const uint8_t* p) {
  uint64_t v;
  std::memcpy(&v, p, 8);
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
  v = __builtin_bswap64(v);
#endif
  return v;
}

inline uint32_t load32(const uint8_t* p) {
  return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

inline uint32_t load24(const uint8_t* p) {
  return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16;
}

inline uint32_t load16(const uint8_t* p) {
  return uint32_t{p[0]} | uint32_t{p[1]} << 8;
}

// Index of the highest set bit; value must not be 0.
inline unsigned highBit(uint32_t value) {
  return 31u - static_cast<unsigned>(__builtin_clz(value));
}

}  // namespace extractor::zstd
