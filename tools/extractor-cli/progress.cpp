#include "progress.h"

#include <cstdio>

namespace extractor::cli {
namespace {

// A run shorter than this shows no line at all.
constexpr auto kFirstDraw = std::chrono::milliseconds(500);
constexpr auto kRedraw = std::chrono::milliseconds(250);

}  // namespace

Progress::Progress(bool shown, uint64_t totalFiles, uint64_t totalBytes)
    : shown_(shown), totalFiles_(totalFiles), totalBytes_(totalBytes) {
  start_ = last_ = std::chrono::steady_clock::now();
}

void Progress::update(uint64_t files, uint64_t bytes) {
  if (!shown_) return;
  auto now = std::chrono::steady_clock::now();
  if (now - start_ < kFirstDraw || now - last_ < kRedraw) return;
  last_ = now;
  unsigned percent = totalBytes_ ? static_cast<unsigned>(bytes * 100 / totalBytes_) : 100;
  std::fprintf(stderr, "\r%llu/%llu files, %.1f/%.1f MB, %u%%   ",
               static_cast<unsigned long long>(files), static_cast<unsigned long long>(totalFiles_),
               bytes / 1e6, totalBytes_ / 1e6, percent);
  std::fflush(stderr);
  drawn_ = true;
}

void Progress::pause() {
  if (!drawn_) return;
  std::fputs("\n", stderr);
  drawn_ = false;
}

double Progress::seconds() const {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
}

std::string summaryLine(uint64_t files, uint64_t bytes, double seconds) {
  char text[96];
  std::snprintf(text, sizeof text, "%llu file%s, %.1f MB in %.1f s",
                static_cast<unsigned long long>(files), files == 1 ? "" : "s", bytes / 1e6,
                seconds);
  return text;
}

}  // namespace extractor::cli
