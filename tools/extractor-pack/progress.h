// A progress line on the terminal, redrawn in place, for runs that take
// longer than a moment.
#pragma once

#include <chrono>
#include <cstdint>

namespace extractor::pack {

class Progress {
 public:
  Progress(bool shown, uint64_t totalFiles, uint64_t totalBytes);
  ~Progress();

  void addBytes(uint64_t bytes);
  void fileDone();
  // Ends the line, if one was drawn.
  void end();

 private:
  void draw(bool force);

  bool shown_;
  bool drawn_ = false;
  uint64_t totalFiles_, totalBytes_;
  uint64_t files_ = 0, bytes_ = 0;
  std::chrono::steady_clock::time_point start_, last_;
};

}  // namespace extractor::pack
