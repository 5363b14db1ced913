// The progress line of a run on a terminal, redrawn in place a few times a
// second, and the summary that ends the run.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace extractor::cli {

class Progress {
 public:
  Progress(bool shown, uint64_t totalFiles, uint64_t totalBytes);

  // Redraws, unless the line was drawn a moment ago.
  void update(uint64_t files, uint64_t bytes);
  // Ends the line, if one was drawn, so that other text starts on its own.
  void pause();
  double seconds() const;

 private:
  bool shown_;
  bool drawn_ = false;
  uint64_t totalFiles_, totalBytes_;
  std::chrono::steady_clock::time_point start_, last_;
};

// "12 files, 3.4 MB in 0.5 s"
std::string summaryLine(uint64_t files, uint64_t bytes, double seconds);

}  // namespace extractor::cli
