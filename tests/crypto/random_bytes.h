#pragma once

#include <cstddef>
#include <cstdint>
#include <random>
#include <vector>

namespace extractor {

inline std::vector<uint8_t> randomBytes(size_t size, uint32_t seed) {
  std::mt19937 engine(seed);
  std::vector<uint8_t> bytes(size);
  for (auto& b : bytes) b = static_cast<uint8_t>(engine());
  return bytes;
}

}  // namespace extractor
