#include "progress.h"

#include <cstdio>

namespace extractor::pack {
namespace {

constexpr auto kFirstDraw = std::chrono::milliseconds(500);
constexpr auto kRedraw = std::chrono::milliseconds(100);

}  // namespace

Progress::Progress(bool shown, uint64_t totalFiles, uint64_t totalBytes)
    : shown_(shown), totalFiles_(totalFiles), totalBytes_(totalBytes) {
  start_ = last_ = std::chrono::steady_clock::now();
}

Progress::~Progress() {
  end();
}

void Progress::addBytes(uint64_t bytes) {
  bytes_ += bytes;
  draw(false);
}

void Progress::fileDone() {
  files_++;
  draw(false);
}

void Progress::draw(bool force) {
  if (!shown_) return;
  auto now = std::chrono::steady_clock::now();
  if (!force && (now - start_ < kFirstDraw || now - last_ < kRedraw)) return;
  last_ = now;
  unsigned percent = totalBytes_ ? static_cast<unsigned>(bytes_ * 100 / totalBytes_) : 100;
  std::fprintf(
      stderr, "\r%llu/%llu files, %.1f/%.1f MB, %u%%   ", static_cast<unsigned long long>(files_),
      static_cast<unsigned long long>(totalFiles_), bytes_ / 1e6, totalBytes_ / 1e6, percent);
  std::fflush(stderr);
  drawn_ = true;
}

void Progress::end() {
  if (!drawn_) return;
  draw(true);
  std::fputs("\n", stderr);
  drawn_ = false;
  shown_ = false;
}

}  // namespace extractor::pack
