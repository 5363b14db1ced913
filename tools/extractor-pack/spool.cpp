#include "spool.h"

#include <system_error>

namespace extractor::pack {

Spool::Spool(std::filesystem::path overflow, size_t memoryLimit)
    : overflowPath_(std::move(overflow)), memoryLimit_(memoryLimit) {}

Spool::~Spool() {
  if (file_.is_open()) file_.close();
  std::error_code ignored;
  std::filesystem::remove(overflowPath_, ignored);
}

void Spool::clear() {
  memory_.clear();
  size_ = 0;
  if (file_.is_open()) file_.close();
}

Error Spool::append(const uint8_t* data, size_t size) {
  if (!file_.is_open() && memory_.size() + size <= memoryLimit_) {
    memory_.insert(memory_.end(), data, data + size);
    size_ += size;
    return std::nullopt;
  }
  if (!file_.is_open()) {
    file_.open(overflowPath_, std::ios::binary | std::ios::in | std::ios::out | std::ios::trunc);
    file_.write(reinterpret_cast<const char*>(memory_.data()),
                static_cast<std::streamsize>(memory_.size()));
    memory_.clear();
  }
  file_.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  if (!file_) return "cannot write the temporary file " + overflowPath_.u8string();
  size_ += size;
  return std::nullopt;
}

Error Spool::replay(const ByteSink& sink) {
  if (!file_.is_open())
    return memory_.empty() ? std::nullopt : sink(memory_.data(), memory_.size());
  file_.flush();
  file_.seekg(0);
  std::vector<uint8_t> buffer(1 << 20);
  uint64_t left = size_;
  while (left > 0) {
    size_t piece = static_cast<size_t>(std::min<uint64_t>(left, buffer.size()));
    file_.read(reinterpret_cast<char*>(buffer.data()), static_cast<std::streamsize>(piece));
    if (!file_) return "cannot read the temporary file " + overflowPath_.u8string();
    if (Error e = sink(buffer.data(), piece)) return e;
    left -= piece;
  }
  return std::nullopt;
}

}  // namespace extractor::pack
