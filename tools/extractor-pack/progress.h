// The packer's progress line: bytes as the workers hand them to the
// archive, files as their entries are written.
#pragma once

#include <chrono>
#include <cstdint>

#include "tools/common/progress_line.h"

namespace extractor::pack {

class Progress {
 public:
  Progress(bool shown, uint64_t totalFiles, uint64_t totalBytes)
      : line_(shown, totalFiles, totalBytes, std::chrono::milliseconds(100)) {}
  ~Progress() { end(); }
  Progress(const Progress&) = delete;
  Progress& operator=(const Progress&) = delete;

  void addBytes(uint64_t bytes) {
    bytes_ += bytes;
    line_.update(files_, bytes_);
  }
  void fileDone() {
    files_++;
    line_.update(files_, bytes_);
  }
  // Ends the line, if one was drawn, with the final figures. Once: the
  // destructor's call after the run's own draws no line after the end.
  void end() {
    if (ended_) return;
    ended_ = true;
    line_.update(files_, bytes_, true);
    line_.end();
  }

 private:
  tools::ProgressLine line_;
  uint64_t files_ = 0, bytes_ = 0;
  bool ended_ = false;
};

}  // namespace extractor::pack
