// Random streams, valid and damaged, decoded by both decoders under every
// way of driving them.
#include <gtest/gtest.h>

#include "deflate_writer.h"
#include "dual_decoder.h"
#include "inflate/huffman_block.h"

namespace extractor::testing {
namespace {

using Bytes = std::vector<uint8_t>;

constexpr uint32_t kLimit = 1u << 17;

// Every test runs in both formats; Deflate64's long matches need a larger
// limit for a whole stream's output.
constexpr InflateFormat kFormats[] = {InflateFormat::kDeflate, InflateFormat::kDeflate64};
uint32_t wholeLimit(InflateFormat format) {
  return format == InflateFormat::kDeflate64 ? 1u << 20 : kLimit;
}
const char* name(InflateFormat format) {
  return format == InflateFormat::kDeflate64 ? "deflate64" : "deflate";
}

TEST(InflateRandom, ValidStreamsDecodeAsWritten) {
  for (InflateFormat format : kFormats) {
    reference::Coverage seen;
    for (unsigned seed = 0; seed < 400; ++seed) {
      std::mt19937 rng(seed);
      GeneratedStream s = randomStream(rng, 1 + seed % 6, 400, format);
      DriveResult r = driveWhole(s.bytes, wholeLimit(format), format);
      ASSERT_TRUE(r.agreed) << name(format) << " seed " << seed << ": " << r.mismatch;
      ASSERT_EQ(zipErrNone, r.error) << seed;
      ASSERT_EQ(s.output, r.output) << name(format) << " " << seed;
      seen.farthestDistance = std::max(seen.farthestDistance, r.seen.farthestDistance);
      seen.longestLength = std::max(seen.longestLength, r.seen.longestLength);
    }
    // The streams use the last distance code and the longest length the
    // format has.
    const bool deflate64 = format == InflateFormat::kDeflate64;
    EXPECT_GE(seen.farthestDistance, deflate64 ? 49153u : 24577u) << name(format);
    EXPECT_EQ(deflate64 ? 65538u : 258u, seen.longestLength) << name(format);
  }
}

// Every byte boundary at which the input can run short.
TEST(InflateRandom, InputArrivingByteByByte) {
  for (InflateFormat format : kFormats) {
    for (unsigned seed = 0; seed < 60; ++seed) {
      std::mt19937 rng(1000 + seed);
      GeneratedStream s = randomStream(rng, 1 + seed % 4, 150, format);
      DriveResult r = driveIncremental(s.bytes, 1 + seed % 3, wholeLimit(format), format);
      ASSERT_TRUE(r.agreed) << name(format) << " seed " << seed << ": " << r.mismatch;
      ASSERT_EQ(zipErrNone, r.error) << seed;
      ASSERT_EQ(s.output, r.output) << name(format) << " " << seed;
    }
  }
}

TEST(InflateRandom, PipelinePasses) {
  for (InflateFormat format : kFormats) {
    for (unsigned seed = 0; seed < 4; ++seed) {
      std::mt19937 rng(2000 + seed);
      GeneratedStream s = randomStream(rng, 60, 3000, format);
      ASSERT_GT(s.bytes.size(), 70000u);
      for (uint32_t chunk : {4093u, 30011u, 1u << 20}) {
        DriveResult r = drivePipeline(s.bytes, 70000 + seed * 4099, chunk, format);
        ASSERT_TRUE(r.agreed) << name(format) << " seed " << seed << ": " << r.mismatch;
        ASSERT_EQ(zipErrNone, r.error);
        ASSERT_EQ(s.output, r.output) << name(format) << " " << seed << " " << chunk;
      }
    }
  }
}

// Budgets of every size, small ones included, against a buffered count
// that grows now and then.
TEST(InflateRandom, RandomLimitsAndInputCounts) {
  for (unsigned seed = 0; seed < 400; ++seed) {
    const InflateFormat format = kFormats[seed % 2];
    std::mt19937 rng(3000 + seed);
    GeneratedStream s = randomStream(rng, 1 + seed % 5, 300, format);
    DualDecoder dual(kLimit, format);
    uint32_t available = 0;
    for (unsigned call = 0; call < 3000 && dual.agreed(); ++call) {
      if (rng() % 4 == 0)
        available = std::min<uint32_t>(uint32_t(s.bytes.size()), available + rng() % 64);
      uint32_t limit = rng() % 3 == 0 ? rng() % 2048
                       : rng() % 2    ? available + rng() % 16 - 8
                                      : rng() % kLimit;
      if (limit > kLimit) limit = kLimit;
      if (dual.state().outPos > 60000) break;
      if (dual.step(s.bytes.data(), available, limit) != zipErrNone) break;
    }
    ASSERT_TRUE(dual.agreed()) << "seed " << seed << ": " << dual.mismatch();
  }
}

Bytes damage(Bytes bytes, std::mt19937& rng) {
  switch (rng() % 4) {
    case 0:
      bytes.resize(rng() % (bytes.size() + 1));
      break;
    case 1:
      if (!bytes.empty()) bytes[rng() % bytes.size()] = static_cast<uint8_t>(rng());
      break;
    default:
      for (unsigned n = 1 + rng() % 3; n > 0 && !bytes.empty(); --n) {
        bytes[rng() % bytes.size()] ^= static_cast<uint8_t>(1u << (rng() % 8));
      }
  }
  return bytes;
}

TEST(InflateRandom, DamagedStreamsGiveTheSameOutputAndErrors) {
  for (InflateFormat format : kFormats) {
    unsigned failed = 0;
    for (unsigned seed = 0; seed < 1500; ++seed) {
      std::mt19937 rng(4000 + seed);
      GeneratedStream s = randomStream(rng, 1 + seed % 4, 200, format);
      Bytes bad = damage(s.bytes, rng);
      const uint32_t limit = wholeLimit(format);
      DriveResult r = seed % 5 == 0 ? driveIncremental(bad, 1 + rng() % 7, limit, format)
                                    : driveWhole(bad, limit, format);
      ASSERT_TRUE(r.agreed) << name(format) << " seed " << seed << ": " << r.mismatch;
      failed += r.error != zipErrNone;
    }
    EXPECT_GT(failed, 100u) << name(format);
  }
}

TEST(InflateRandom, RandomBytes) {
  for (unsigned seed = 0; seed < 3000; ++seed) {
    std::mt19937 rng(5000 + seed);
    Bytes bytes(1 + rng() % 300);
    const unsigned mask = seed % 3 == 0 ? 0xFF : seed % 3 == 1 ? 0x0F : 0xF0;
    for (auto& b : bytes) b = static_cast<uint8_t>(rng() & mask);
    // Most random streams start with a dynamic header this way.
    if (seed % 2) bytes[0] = static_cast<uint8_t>((bytes[0] & ~7) | 4 | (seed & 1));
    DriveResult r = driveWhole(bytes, 1u << 16, kFormats[seed / 2 % 2]);
    ASSERT_TRUE(r.agreed) << "seed " << seed << ": " << r.mismatch;
  }
}

// The processor picks one build of the fast loop; the other one must decode
// alike where it runs.
TEST(InflateRandom, BothBuildsOfTheFastLoop) {
  struct Restore {
    ~Restore() { selectFastLoop(); }
  } restore;
  for (bool bmi2 : {false, true}) {
    selectFastLoop(bmi2);
    for (unsigned seed = 0; seed < 300; ++seed) {
      const InflateFormat format = kFormats[seed / 2 % 2];
      std::mt19937 rng(6000 + seed);
      GeneratedStream s = randomStream(rng, 1 + seed % 6, 400, format);
      Bytes bytes = seed % 3 == 0 ? damage(s.bytes, rng) : s.bytes;
      DriveResult r = seed % 2 ? driveIncremental(bytes, 1 + seed % 5, wholeLimit(format), format)
                               : drivePipeline(bytes, 70000, 4093 + seed, format);
      ASSERT_TRUE(r.agreed) << "bmi2 " << bmi2 << " seed " << seed << ": " << r.mismatch;
      if (seed % 3 != 0) {
        ASSERT_EQ(s.output, r.output) << seed;
      }
    }
  }
}

}  // namespace
}  // namespace extractor::testing
