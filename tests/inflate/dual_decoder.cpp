#include "dual_decoder.h"

#include <algorithm>
#include <cstring>
#include <sstream>

#include "deflate_writer.h"

namespace extractor::testing {
namespace {

constexpr uint32_t kRoom = 66560;
constexpr uint32_t kCanary = 64;
constexpr uint8_t kCanaryByte = 0xA5;

}  // namespace

DualDecoder::DualDecoder(uint32_t maxLimit, InflateFormat format)
    : fast_(std::make_unique<InflateState>()),
      ref_(std::make_unique<reference::State>()),
      fastOut_(kHistory + uint64_t{maxLimit} + kRoom + kCanary),
      refOut_(fastOut_.size()),
      maxLimit_(maxLimit) {
  // Once is enough: every build writes the same values.
  static const bool tablesBuilt = (buildInflateTables(), true);
  (void)tablesBuilt;
  for (uint32_t i = 0; i < kHistory; ++i) fastOut_[i] = refOut_[i] = historyByte(i);
  fast_->format = ref_->format = format;
}

void DualDecoder::setPositions(uint32_t inPos, uint32_t outPos) {
  fast_->inPos = ref_->inPos = inPos;
  fast_->outPos = ref_->outPos = outPos;
}

ZipError DualDecoder::step(const uint8_t* input, uint32_t inputCount, uint32_t limit) {
  if (!agreed()) return zipErrNotZipFile;
  if (limit > maxLimit_) {
    mismatch_ = "limit above the one the decoder was made for";
    return zipErrNotZipFile;
  }
  ++calls_;
  const uint64_t end = kHistory + uint64_t{limit} + kRoom;
  std::memset(fastOut_.data() + end, kCanaryByte, kCanary);
  const uint32_t outBefore = fast_->outPos;
  // The reference speaks in the engine's codes.
  ZipError fastResult = decodeFailed(inflateStep(*fast_, input, inputCount, output(), limit))
                            ? zipErrNotZipFile
                            : zipErrNone;
  ZipError refResult =
      reference::inflateStep(*ref_, input, inputCount, refOut_.data() + kHistory, limit);
  for (uint32_t i = 0; i < kCanary; ++i) {
    if (fastOut_[end + i] != kCanaryByte) mismatch_ = "wrote past limit + room";
  }
  compare(fastResult, refResult, outBefore);
  return fastResult;
}

void DualDecoder::compare(ZipError fastResult, ZipError refResult, uint32_t outBefore) {
  std::ostringstream why;
  const InflateState& f = *fast_;
  const reference::State& r = *ref_;
  if (fastResult != refResult) why << "result " << fastResult << " vs " << refResult << "; ";
  if (f.outPos != r.outPos) why << "outPos " << f.outPos << " vs " << r.outPos << "; ";
  if (fastResult == zipErrNone && refResult == zipErrNone) {
    if (f.inPos != r.inPos) why << "inPos " << f.inPos << " vs " << r.inPos << "; ";
    if (f.blockState != r.blockState) {
      why << "blockState " << f.blockState << " vs " << r.blockState << "; ";
    }
    if (f.bitCount != r.bitCount || f.bitBuffer != r.bitBuffer) {
      why << "bits " << f.bitBuffer << "/" << unsigned{f.bitCount} << " vs " << r.bitBuffer << "/"
          << unsigned{r.bitCount} << "; ";
    }
  }
  const uint32_t outEnd = std::min(f.outPos, r.outPos);
  if (outEnd > outBefore && std::memcmp(output() + outBefore, refOut_.data() + kHistory + outBefore,
                                        outEnd - outBefore)) {
    why << "output differs; ";
  }
  if (!why.str().empty() && mismatch_.empty()) {
    mismatch_ = "call " + std::to_string(calls_) + ": " + why.str();
  }
}

void DualDecoder::keepHistory(uint32_t count) {
  for (auto* area : {&fastOut_, &refOut_}) {
    uint8_t* out = area->data() + kHistory;
    if (count >= kHistory) {
      std::memcpy(area->data(), out + count - kHistory, kHistory);
    } else {
      std::memmove(area->data(), area->data() + count, kHistory - count);
      std::memcpy(area->data() + kHistory - count, out, count);
    }
  }
}

namespace {

struct Progress {
  uint32_t inPos, outPos, bitCount;
  int32_t blockState;
  explicit Progress(const InflateState& s)
      : inPos(s.inPos), outPos(s.outPos), bitCount(s.bitCount), blockState(s.blockState) {}
  bool operator==(const Progress& o) const {
    return inPos == o.inPos && outPos == o.outPos && bitCount == o.bitCount &&
           blockState == o.blockState;
  }
};

DriveResult finish(DualDecoder& dual, ZipError error, uint32_t outCount) {
  DriveResult result;
  result.error = error;
  result.output.assign(dual.output(), dual.output() + outCount);
  result.agreed = dual.agreed();
  result.mismatch = dual.mismatch();
  result.calls = dual.calls();
  result.seen = dual.seen();
  return result;
}

}  // namespace

DriveResult driveWhole(const std::vector<uint8_t>& input, uint32_t limit, InflateFormat format) {
  DualDecoder dual(limit, format);
  ZipError error = zipErrNone;
  for (;;) {
    Progress before(dual.state());
    error = dual.step(input.data(), static_cast<uint32_t>(input.size()), limit);
    if (error != zipErrNone || !dual.agreed() || Progress(dual.state()) == before) break;
  }
  return finish(dual, error, dual.state().outPos);
}

DriveResult driveIncremental(const std::vector<uint8_t>& input, uint32_t step, uint32_t limit,
                             InflateFormat format) {
  DualDecoder dual(limit, format);
  ZipError error = zipErrNone;
  for (size_t available = 0; error == zipErrNone && dual.agreed();) {
    available = std::min(input.size(), available + step);
    // A buffer of exactly the available bytes, so that a read past them
    // shows under the address sanitizer.
    std::vector<uint8_t> buffered(input.begin(), input.begin() + available);
    for (;;) {
      Progress before(dual.state());
      error = dual.step(buffered.data(), static_cast<uint32_t>(available), limit);
      if (error != zipErrNone || !dual.agreed() || Progress(dual.state()) == before) break;
    }
    if (available == input.size()) break;
  }
  return finish(dual, error, dual.state().outPos);
}

DriveResult drivePipeline(const std::vector<uint8_t>& input, uint32_t capacity, uint32_t maxChunk,
                          InflateFormat format) {
  DualDecoder dual(capacity, format);
  std::vector<uint8_t> buffer(capacity);
  std::vector<uint8_t> output;
  uint32_t pending = 0;
  size_t read = 0;
  ZipError error = zipErrNone;
  for (;;) {
    const uint32_t chunk = static_cast<uint32_t>(
        std::min<size_t>({input.size() - read, capacity - pending, maxChunk}));
    std::memcpy(buffer.data() + pending, input.data() + read, chunk);
    read += chunk;
    pending += chunk;
    const bool moreFollows = read < input.size();
    const uint32_t limit = !moreFollows ? capacity : pending >= 65536 ? pending - 32768 : 0;
    uint32_t in = 0, out = 0;
    bool stuck = false;
    while (limit != 0 && out < limit - 2048 && in < pending) {
      if (pending - in <= 65536 && in != 0 && moreFollows) break;
      dual.setPositions(in, out);
      Progress before(dual.state());
      // The pass would repeat without end on a call that changes nothing.
      error = dual.step(buffer.data(), pending, limit);
      if (error != zipErrNone || !dual.agreed()) return finish(dual, error, 0);
      if (Progress(dual.state()) == before) {
        stuck = true;
        break;
      }
      in = dual.state().inPos;
      out = dual.state().outPos;
    }
    output.insert(output.end(), dual.output(), dual.output() + out);
    dual.keepHistory(out);
    std::memmove(buffer.data(), buffer.data() + in, pending - in);
    pending -= in;
    if (!moreFollows && (stuck || in == 0 || pending == 0)) break;
    if (moreFollows && chunk == 0 && in == 0) break;
  }
  DriveResult result = finish(dual, error, 0);
  result.output = std::move(output);
  return result;
}

}  // namespace extractor::testing
