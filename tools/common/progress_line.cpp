#include "tools/common/progress_line.h"

#include <cstdio>

namespace extractor::tools {
namespace {

// A run shorter than this shows no line at all.
constexpr auto kFirstDraw = std::chrono::milliseconds(500);

}  // namespace

ProgressLine::ProgressLine(bool shown, uint64_t totalFiles, uint64_t totalBytes,
                           std::chrono::milliseconds redraw)
    : shown_(shown), totalFiles_(totalFiles), totalBytes_(totalBytes), redraw_(redraw) {
  start_ = last_ = std::chrono::steady_clock::now();
}

void ProgressLine::update(uint64_t files, uint64_t bytes, bool force) {
  if (!shown_) return;
  auto now = std::chrono::steady_clock::now();
  if (!(force && drawn_) && (now - start_ < kFirstDraw || now - last_ < redraw_)) return;
  last_ = now;
  unsigned percent = totalBytes_ ? static_cast<unsigned>(bytes * 100 / totalBytes_) : 100;
  std::fprintf(stderr, "\r%llu/%llu files, %.1f/%.1f MB, %u%%   ",
               static_cast<unsigned long long>(files), static_cast<unsigned long long>(totalFiles_),
               bytes / 1e6, totalBytes_ / 1e6, percent);
  std::fflush(stderr);
  drawn_ = true;
}

void ProgressLine::end() {
  if (!drawn_) return;
  std::fputs("\n", stderr);
  drawn_ = false;
}

double ProgressLine::seconds() const {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
}

}  // namespace extractor::tools
