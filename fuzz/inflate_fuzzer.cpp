// inflateStep driven as the entry pipeline drives it, pass by pass, with
// the chunk sizes, input counts and limits taken from the input, against
// the bit-by-bit reference decoder: after every call both must agree on
// the result, the bytes written and, while there is no error, the bytes
// consumed and the bit state. The seed's top bit picks deflate or Deflate64.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>

#include "dual_decoder.h"
#include "fuzz_input.h"

using namespace extractor;
using extractor::testing::DualDecoder;

namespace {

constexpr unsigned kMaxPasses = 2048;
constexpr unsigned kMaxCalls = 200000;
constexpr uint64_t kMaxOutput = 4u << 20;

// The pipeline's rule: while more input follows, 32 KiB stay unconsumed.
uint32_t pipelineLimit(uint32_t capacity, uint32_t pending, bool moreFollows) {
  if (!moreFollows) return capacity;
  return pending >= 65536 ? pending - 32768 : 0;
}

// Where a decoder stands; a call that leaves it unchanged made no progress.
struct Position {
  explicit Position(const InflateState& s)
      : inPos(s.inPos), outPos(s.outPos), bitCount(s.bitCount), blockState(s.blockState) {}
  bool operator==(const Position& o) const {
    return inPos == o.inPos && outPos == o.outPos && bitCount == o.bitCount &&
           blockState == o.blockState;
  }
  uint32_t inPos, outPos, bitCount;
  int32_t blockState;
};

class Driver {
 public:
  Driver(uint32_t capacity, uint32_t seed, InflateFormat format, const uint8_t* stream, size_t size)
      : capacity_(capacity), rng_(seed), stream_(stream), size_(size), dual_(capacity, format) {}

  void run() {
    for (unsigned pass = 0; pass < kMaxPasses && produced_ < kMaxOutput; pass++) {
      refill();
      bool moreFollows = read_ < size_;
      bool progress = decodePass(moreFollows);
      if (failed_) return;
      if (!moreFollows && !progress) return;
    }
  }

 private:
  void refill() {
    uint32_t room = std::min<size_t>(size_ - read_, capacity_ - pending_.size());
    uint32_t chunk = room;
    switch (rng_() % 4) {
      case 0:
        chunk = room ? rng_() % (room + 1) : 0;
        break;
      case 1:
        chunk = std::min<uint32_t>(room, rng_() % 64);
        break;
    }
    pending_.insert(pending_.end(), stream_ + read_, stream_ + read_ + chunk);
    read_ += chunk;
  }

  // True when the pass consumed or produced anything.
  bool decodePass(bool moreFollows) {
    uint32_t count = static_cast<uint32_t>(pending_.size());
    bool asPipeline = rng_() % 4 != 0;
    uint32_t limit = asPipeline ? pipelineLimit(capacity_, count, moreFollows)
                                : static_cast<uint32_t>(rng_() % (uint64_t{capacity_} + 1));
    uint32_t margin = asPipeline ? 2048 : 0;
    // Exactly the pending bytes, so that a read beyond them shows.
    std::unique_ptr<uint8_t[]> input(new uint8_t[count ? count : 1]);
    if (count) std::memcpy(input.get(), pending_.data(), count);

    uint32_t in = 0;
    uint32_t out = 0;
    while (limit > margin && out < limit - margin && in < count && calls_ < kMaxCalls) {
      if (asPipeline && count - in <= 65536 && in != 0 && moreFollows) break;
      dual_.setPositions(in, out);
      uint32_t inputCount = count;
      // Now and then the caller has buffered less than it holds.
      if (!asPipeline && rng_() % 3 == 0) inputCount = in + rng_() % (count - in + 1);
      const Position before(dual_.state());
      calls_++;
      ZipError error = dual_.step(input.get(), inputCount, limit);
      check();
      if (error != zipErrNone) {
        failed_ = true;
        return true;
      }
      const Position after(dual_.state());
      if (after == before) break;
      in = after.inPos;
      out = after.outPos;
    }
    dual_.keepHistory(out);
    produced_ += out;
    pending_.erase(pending_.begin(), pending_.begin() + std::min<uint32_t>(in, count));
    return in != 0 || out != 0;
  }

  void check() {
    if (dual_.agreed()) return;
    std::fprintf(stderr, "decoders disagree: %s\n", dual_.mismatch().c_str());
    std::abort();
  }

  uint32_t capacity_;
  std::minstd_rand rng_;
  const uint8_t* stream_;
  size_t size_;
  size_t read_ = 0;
  std::vector<uint8_t> pending_;
  DualDecoder dual_;
  uint64_t produced_ = 0;
  unsigned calls_ = 0;
  bool failed_ = false;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::FuzzInput input(data, size);
  // Buffers from the smallest the pipeline works with up to about 130 KB.
  uint32_t capacity = 66 * 1024 + input.byte() * 256;
  uint32_t seed = input.word();
  const InflateFormat format = seed >> 31 ? InflateFormat::kDeflate64 : InflateFormat::kDeflate;
  Driver driver(capacity, seed, format, input.rest(), input.restSize());
  driver.run();
  return 0;
}
