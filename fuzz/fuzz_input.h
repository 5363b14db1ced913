// Reads a fuzzer's input front to back: control values first, the rest as
// the data under test. Past the end every value reads as 0.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace extractor::fuzz {

class FuzzInput {
 public:
  FuzzInput(const uint8_t* data, size_t size) : data_(data), size_(size) {}

  uint8_t byte() { return pos_ < size_ ? data_[pos_++] : 0; }
  uint32_t word() {
    uint32_t value = 0;
    for (int i = 0; i < 4; i++) value |= uint32_t{byte()} << (8 * i);
    return value;
  }
  // A text of up to `longest` bytes, its length given by the first byte.
  std::string text(size_t longest) {
    size_t length = byte() % (longest + 1);
    std::string out;
    while (length-- > 0 && pos_ < size_) out += static_cast<char>(data_[pos_++]);
    return out;
  }
  const uint8_t* rest() const { return data_ + pos_; }
  size_t restSize() const { return size_ - pos_; }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
};

}  // namespace extractor::fuzz
