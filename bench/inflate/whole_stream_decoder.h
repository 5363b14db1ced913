// What the decoder benchmarks share: processor time, and this project's
// decoder run over a whole stream, all of it buffered, as in an entry's last
// pass.
#pragma once

#include <cstdint>
#include <cstring>
#include <ctime>
#include <memory>
#include <vector>

#include "inflate/inflate.h"

// The thread's processor time: on a machine shared with other work, time
// spent descheduled is not the decoder's.
inline double cpuSeconds() {
  timespec now;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + now.tv_nsec * 1e-9;
}

class OurDecoder {
 public:
  using Bytes = std::vector<uint8_t>;

  explicit OurDecoder(size_t outSize,
                      extractor::InflateFormat format = extractor::InflateFormat::kDeflate)
      : limit_(static_cast<uint32_t>(outSize + 2048)),
        format_(format),
        area_(kHistoryRoom + size_t{limit_} + extractor::kOutputRoom),
        state_(std::make_unique<extractor::InflateState>()) {}

  // Leaves the output in the decoder's own area; copied out only when asked.
  bool decode(const Bytes& in, Bytes* out) {
    *state_ = extractor::InflateState();
    state_->format = format_;
    const uint32_t count = static_cast<uint32_t>(in.size());
    while (state_->inPos < count) {
      const uint32_t before = state_->inPos, outBefore = state_->outPos;
      if (extractor::decodeFailed(
              extractor::inflateStep(*state_, in.data(), count, output(), limit_))) {
        return false;
      }
      if (state_->inPos == before && state_->outPos == outBefore &&
          state_->blockState == extractor::kBlockHeaderNext) {
        break;
      }
    }
    if (out == nullptr) return true;
    if (state_->outPos != out->size()) return false;
    std::memcpy(out->data(), output(), out->size());
    return true;
  }

  uint32_t produced() const { return state_->outPos; }
  // Where the output is left, after room for the history.
  uint8_t* output() { return area_.data() + kHistoryRoom; }

 private:
  static constexpr size_t kHistoryRoom =
      extractor::windowSize(extractor::InflateFormat::kDeflate64);
  uint32_t limit_;
  extractor::InflateFormat format_;
  Bytes area_;
  std::unique_ptr<extractor::InflateState> state_;
};
