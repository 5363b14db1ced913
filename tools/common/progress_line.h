// The progress line of a tool's run on a terminal: files, bytes and
// percent, redrawn in place a few times a second once the run has taken
// longer than a moment.
#pragma once

#include <chrono>
#include <cstdint>

namespace extractor::tools {

class ProgressLine {
 public:
  ProgressLine(bool shown, uint64_t totalFiles, uint64_t totalBytes,
               std::chrono::milliseconds redraw);

  // Redraws, unless the run is young or the line was drawn a moment ago;
  // force draws a line already begun whenever asked.
  void update(uint64_t files, uint64_t bytes, bool force = false);
  // Ends the line, if one was drawn, so that other text starts on its own.
  void end();
  double seconds() const;

 private:
  bool shown_;
  bool drawn_ = false;
  uint64_t totalFiles_, totalBytes_;
  std::chrono::milliseconds redraw_;
  std::chrono::steady_clock::time_point start_, last_;
};

}  // namespace extractor::tools
