// Compressed data kept until the entry's headers, which need its size and
// CRC-32, have been written: in memory up to a limit, then in a file.
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <vector>

#include "status.h"

namespace extractor::pack {

using ByteSink = std::function<Error(const uint8_t* data, size_t size)>;

class Spool {
 public:
  // overflow: the file used once more than memoryLimit bytes are held.
  Spool(std::filesystem::path overflow, size_t memoryLimit);
  ~Spool();

  void clear();
  Error append(const uint8_t* data, size_t size);
  uint64_t size() const { return size_; }
  // Hands the bytes to sink in order.
  Error replay(const ByteSink& sink);

 private:
  std::filesystem::path overflowPath_;
  size_t memoryLimit_;
  std::vector<uint8_t> memory_;
  std::fstream file_;
  uint64_t size_ = 0;
};

}  // namespace extractor::pack
