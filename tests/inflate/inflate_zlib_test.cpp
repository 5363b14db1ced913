// Streams from zlib at every level and strategy: both decoders agree on
// every call as the pipeline drives them, and give zlib's input back.
#include <gtest/gtest.h>
#include <zlib.h>

#include <random>
#include <string>

#include "dual_decoder.h"

namespace extractor::testing {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes deflateRaw(const Bytes& data, int level, int strategy, int memLevel = 8) {
  z_stream z = {};
  EXPECT_EQ(Z_OK, deflateInit2(&z, level, Z_DEFLATED, -15, memLevel, strategy));
  Bytes out(deflateBound(&z, static_cast<uLong>(data.size())) + 16);
  z.next_in = const_cast<Bytef*>(data.data());
  z.avail_in = static_cast<uInt>(data.size());
  z.next_out = out.data();
  z.avail_out = static_cast<uInt>(out.size());
  EXPECT_EQ(Z_STREAM_END, deflate(&z, Z_FINISH));
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

// Text-like: words of a small vocabulary with punctuation and numbers.
Bytes textData(size_t size, unsigned seed) {
  static const char* const kWords[] = {"the",    "inflate", "block",    "symbol", "of",
                                       "and",    "length",  "distance", "a",      "window",
                                       "stream", "header",  "code",     "is",     "tree"};
  std::mt19937 rng(seed);
  std::string s;
  while (s.size() < size) {
    s += kWords[rng() % 15];
    s += rng() % 9 ? " " : rng() % 2 ? ".\n" : std::to_string(rng() % 1000) + ", ";
  }
  return Bytes(s.begin(), s.begin() + size);
}

Bytes binaryData(size_t size, unsigned seed) {
  std::mt19937 rng(seed);
  Bytes b(size);
  for (size_t i = 0; i < size; ++i) {
    b[i] =
        i % 16 < 4 ? static_cast<uint8_t>(i >> 8) : static_cast<uint8_t>(rng() % (1 + i % 7 * 40));
  }
  return b;
}

Bytes repetitiveData(size_t size) {
  Bytes b(size);
  for (size_t i = 0; i < size; ++i) b[i] = i % 5000 < 3000 ? 'a' : "abcabd"[i % 6];
  return b;
}

Bytes randomData(size_t size, unsigned seed) {
  std::mt19937 rng(seed);
  Bytes b(size);
  for (auto& x : b) x = static_cast<uint8_t>(rng());
  return b;
}

struct Corpus {
  std::string name;
  Bytes data;
};

std::vector<Corpus> corpus() {
  return {{"text", textData(150000, 1)},
          {"binary", binaryData(120000, 2)},
          {"repetitive", repetitiveData(200000)},
          {"random", randomData(80000, 3)}};
}

TEST(InflateZlib, EveryLevelAndStrategyThroughThePipeline) {
  const int strategies[] = {Z_DEFAULT_STRATEGY, Z_FILTERED, Z_HUFFMAN_ONLY, Z_RLE, Z_FIXED};
  for (const Corpus& c : corpus()) {
    for (int strategy : strategies) {
      for (int level = 0; level <= 9; ++level) {
        Bytes stream = deflateRaw(c.data, level, strategy, level % 2 ? 9 : 8);
        DriveResult r = drivePipeline(stream, 65536 + 4096 + level * 1000, 40000 - level * 999);
        ASSERT_TRUE(r.agreed) << c.name << " level " << level << " strategy " << strategy << ": "
                              << r.mismatch;
        ASSERT_EQ(zipErrNone, r.error);
        ASSERT_TRUE(r.output == c.data) << c.name << " level " << level << " strategy " << strategy;
      }
    }
  }
}

// Chunk sizes that put the ends of the passes at many different places in
// the stream.
TEST(InflateZlib, PassBoundariesEverywhere) {
  Bytes data = textData(400000, 4);
  for (int strategy : {Z_DEFAULT_STRATEGY, Z_FIXED}) {
    Bytes stream = deflateRaw(data, 6, strategy);
    for (uint32_t chunk = 1000; chunk < 30000; chunk = chunk * 5 / 4 + 7) {
      DriveResult r = drivePipeline(stream, 70000, chunk);
      ASSERT_TRUE(r.agreed) << chunk << ": " << r.mismatch;
      ASSERT_TRUE(r.output == data) << chunk;
    }
  }
}

// Input arriving a byte at a time stops the decoder before every symbol
// that would need one more byte.
TEST(InflateZlib, InputRunningShortAtEveryByte) {
  Bytes data = textData(30000, 5);
  for (int level : {1, 6, 9}) {
    for (int strategy : {Z_DEFAULT_STRATEGY, Z_FIXED, Z_HUFFMAN_ONLY}) {
      Bytes stream = deflateRaw(data, level, strategy);
      DriveResult r = driveIncremental(stream, 1, 1u << 16);
      ASSERT_TRUE(r.agreed) << level << " " << strategy << ": " << r.mismatch;
      ASSERT_TRUE(r.output == data);
    }
  }
}

TEST(InflateZlib, DamagedStreams) {
  std::vector<Bytes> streams;
  for (const Corpus& c : corpus()) {
    Bytes part(c.data.begin(), c.data.begin() + 20000);
    for (int strategy : {Z_DEFAULT_STRATEGY, Z_FIXED, Z_RLE}) {
      streams.push_back(deflateRaw(part, 6, strategy));
    }
  }
  std::mt19937 rng(6);
  unsigned failed = 0;
  for (unsigned n = 0; n < 1200; ++n) {
    Bytes bad = streams[n % streams.size()];
    for (unsigned k = 1 + rng() % 3; k > 0; --k) {
      bad[rng() % std::min<size_t>(bad.size(), 300)] ^= static_cast<uint8_t>(1u << (rng() % 8));
    }
    DriveResult r = driveWhole(bad, 1u << 16);
    ASSERT_TRUE(r.agreed) << n << ": " << r.mismatch;
    failed += r.error != zipErrNone;
  }
  EXPECT_GT(failed, 100u);
}

}  // namespace
}  // namespace extractor::testing
