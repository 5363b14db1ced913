#pragma once

#include <cstdint>
#include <vector>

namespace extractor {

inline uint16_t load16(const uint8_t* p) {
  return static_cast<uint16_t>(p[0] | p[1] << 8);
}

inline uint32_t load32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

inline uint64_t load64(const uint8_t* p) {
  return static_cast<uint64_t>(load32(p)) | static_cast<uint64_t>(load32(p + 4)) << 32;
}

inline void store16(uint8_t* p, uint16_t value) {
  p[0] = static_cast<uint8_t>(value);
  p[1] = static_cast<uint8_t>(value >> 8);
}

inline void store32(uint8_t* p, uint32_t value) {
  store16(p, static_cast<uint16_t>(value));
  store16(p + 2, static_cast<uint16_t>(value >> 16));
}

inline void put16(std::vector<uint8_t>& out, uint16_t value) {
  out.push_back(static_cast<uint8_t>(value));
  out.push_back(static_cast<uint8_t>(value >> 8));
}

inline void put32(std::vector<uint8_t>& out, uint32_t value) {
  put16(out, static_cast<uint16_t>(value));
  put16(out, static_cast<uint16_t>(value >> 16));
}

}  // namespace extractor
