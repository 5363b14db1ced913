// Our PPMd decoder against the streams 7z writes: orders and memory sizes,
// memory that fills up and restarts or is cut off, any input and output
// steps, cut and damaged streams, and the header's limits.
#include <gtest/gtest.h>

#include <random>

#include "ppmd/ppmd.h"
#include "reference_codecs.h"
#include "stream_driver.h"

namespace extractor::testing {
namespace {

// Text, binary and random parts, too varied for a model of 1 or 2 MiB.
Bytes mixedBytes() {
  Bytes data;
  for (uint32_t seed = 0; seed < 4; ++seed) {
    for (const Bytes& part :
         {textBytes(250000, seed), binaryBytes(150000, seed), randomBytes(60000, seed)}) {
      data.insert(data.end(), part.begin(), part.end());
    }
  }
  return data;
}

// Three random bytes in four: data that compress little and fill a model
// with contexts seen once.
Bytes noisyBytes(size_t size, uint32_t seed) {
  Bytes data = randomBytes(size, seed);
  for (size_t i = 0; i < data.size(); i += 4) data[i] = static_cast<uint8_t>('A' + i % 7);
  return data;
}

Bytes compressed(const Bytes& data, const PpmdOptions& options) {
  std::optional<Bytes> stream = ppmdCompress(data, options);
  if (!stream) ADD_FAILURE() << "7z wrote no PPMd entry";
  return stream.value_or(Bytes{});
}

class Ppmd : public ::testing::Test {
 protected:
  void SetUp() override {
    if (std::system("7z i >/dev/null 2>&1") != 0) GTEST_SKIP() << "7z is not installed";
  }
};

TEST_F(Ppmd, OrdersMemorySizesAndRestorationAgainst7z) {
  const Bytes text = textBytes(600000, 2);
  const Bytes binary = binaryBytes(400000, 3);
  const Bytes runs = runBytes(600000, 4);
  const Bytes mixed = mixedBytes();
  const Bytes noisy = noisyBytes(1000000, 5);
  struct Case {
    const char* name;
    const Bytes& data;
    PpmdOptions options;
  };
  const Case cases[] = {
      {"text", text, {2, 16, 0}},           {"text", text, {6, 16, 0}},
      {"text", text, {16, 32, 1}},          {"binary", binary, {4, 8, 0}},
      {"binary", binary, {16, 16, 1}},      {"runs", runs, {16, 4, 0}},
      {"mixed fits", mixed, {6, 64, 0}},    {"mixed restart", mixed, {3, 1, 0}},
      {"mixed restart", mixed, {16, 2, 0}}, {"mixed cut off", mixed, {6, 1, 1}},
      {"mixed cut off", mixed, {16, 2, 1}}, {"noisy restart", noisy, {16, 1, 0}},
      {"noisy cut off", noisy, {16, 1, 1}},
  };
  PpmdDecoder decoder;  // one for all: memory kept or replaced between entries
  size_t step = 0;      // every other case in small input steps and output areas
  for (const Case& c : cases) {
    const PpmdOptions& o = c.options;
    const Bytes stream = compressed(c.data, o);
    step = step ? 0 : 777;
    Decoded got = decodeEntry(decoder, stream, c.data.size(), step, step ? 5000 : 1 << 20);
    ASSERT_TRUE(got.ok()) << c.name << " order " << o.order << " mem " << o.memoryMiB << " restore "
                          << o.restore << " step " << step;
    ASSERT_TRUE(got.output == c.data) << c.name << " order " << o.order;
  }
}

// The entry's size ends the data (7z's end mark after it is not read), down
// to no bytes and one.
TEST_F(Ppmd, SizeEndsTheEntry) {
  const Bytes data = textBytes(20000, 7);
  const Bytes stream = compressed(data, {6, 1, 0});
  PpmdDecoder decoder;
  for (uint64_t size : {0, 1, 2, 100, 19999, 20000}) {
    Decoded got = decodeEntry(decoder, stream, size, 1, 1);
    ASSERT_TRUE(got.ok()) << size;
    EXPECT_TRUE(got.output == Bytes(data.begin(), data.begin() + static_cast<long>(size))) << size;
  }
  Decoded got = decodeEntry(decoder, {}, 0);
  EXPECT_TRUE(got.ok() && got.output.empty());
  // Past the end mark: cut data.
  got = decodeEntry(decoder, stream, data.size() + 1);
  EXPECT_FALSE(got.ok());
}

TEST_F(Ppmd, AnyInputAndOutputSteps) {
  const Bytes data = textBytes(60000, 8);
  const Bytes stream = compressed(data, {8, 1, 1});
  PpmdDecoder decoder;
  for (size_t step : {1, 2, 5, 255, 257, 4096}) {
    for (uint32_t area : {1u, 3u, 1000u}) {
      Decoded got = decodeEntry(decoder, stream, data.size(), step, area);
      ASSERT_TRUE(got.ok()) << step << " " << area;
      ASSERT_TRUE(got.output == data) << step << " " << area;
    }
  }
}

TEST_F(Ppmd, CutStreamsNeverGiveWrongOutput) {
  // The cuts through the first 4 KiB of the stream fall early in the data.
  const Bytes data = noisyBytes(20000, 9);
  const Bytes stream = compressed(data, {6, 1, 0});
  PpmdDecoder decoder;
  for (size_t cut = 0; cut < stream.size(); cut = nextCut(cut)) {
    Decoded got =
        decodeEntry(decoder, Bytes(stream.begin(), stream.begin() + static_cast<long>(cut)),
                    data.size(), cut % 2 ? 1500 : 0, 1 << 16);
    // Only the end mark's bytes may go unmissed.
    if (got.ok()) {
      ASSERT_TRUE(got.output == data && cut + 16 > stream.size()) << "cut at " << cut;
    }
  }
}

TEST_F(Ppmd, DamagedStreamsFailOrKeepToTheSize) {
  std::mt19937 rng(12);
  const Bytes data = mixedBytes();
  const Bytes original = compressed(Bytes(data.begin(), data.begin() + 100000), {8, 1, 1});
  PpmdDecoder decoder;
  for (int trial = 0; trial < 300; ++trial) {
    Bytes stream = original;
    for (int flips = 1 + trial % 3; flips > 0; --flips) {
      stream[rng() % stream.size()] ^= static_cast<uint8_t>(1u << (rng() % 8));
    }
    Decoded got = decodeEntry(decoder, stream, 100000, trial % 2 ? 333 : 0, 7000);
    if (got.ok()) {
      ASSERT_EQ(got.output.size(), 100000u) << "trial " << trial;
    }
  }
}

// Random bytes after a valid header decode to some symbols of every
// order and restoration method until the range decoder meets a count no
// context has; no memory is touched outside the model's.
TEST_F(Ppmd, RandomBodiesStopAtAnError) {
  PpmdDecoder decoder;
  for (unsigned order = 2; order <= 16; ++order) {
    for (unsigned restore : {0u, 1u}) {
      Bytes stream = randomBytes(100000, order * 2 + restore);
      const unsigned header = (order - 1) | restore << 12;  // 1 MiB
      stream[0] = static_cast<uint8_t>(header);
      stream[1] = static_cast<uint8_t>(header >> 8);
      Decoded got = decodeEntry(decoder, stream, 1 << 24, order % 2 ? 4096 : 0, 3000);
      EXPECT_FALSE(got.ok()) << order << " " << restore;
    }
  }
}

// The two header bytes: order - 1, memory in MiB - 1, restoration method.
TEST_F(Ppmd, HeaderLimits) {
  const Bytes data = textBytes(5000, 10);
  const Bytes stream = compressed(data, {6, 1, 0});
  auto withHeader = [&](unsigned header) {
    Bytes s = stream;
    s[0] = static_cast<uint8_t>(header);
    s[1] = static_cast<uint8_t>(header >> 8);
    return s;
  };
  const unsigned order6 = 5, mem1 = 0 << 4;
  struct Case {
    unsigned header;
    uint32_t limit;
    DecodeStatus want;  // kDone: decodes to the data
  };
  const Case cases[] = {
      {order6 | 255 << 4, PpmdDecoder::kMaxMemory, DecodeStatus::kDone},  // 256 MiB
      {order6 | 15 << 4, 8u << 20, DecodeStatus::kOutOfMemory},
      {0 | mem1, PpmdDecoder::kMaxMemory, DecodeStatus::kDamaged},  // order 1
      {order6 | mem1 | 1 << 12, PpmdDecoder::kMaxMemory, DecodeStatus::kDone},
      {order6 | mem1 | 2 << 12, PpmdDecoder::kMaxMemory, DecodeStatus::kUnsupported},
      {order6 | mem1 | 3 << 12, PpmdDecoder::kMaxMemory, DecodeStatus::kDamaged},
      {order6 | mem1 | 15u << 12, PpmdDecoder::kMaxMemory, DecodeStatus::kDamaged},
  };
  for (const Case& c : cases) {
    PpmdDecoder decoder;
    decoder.setMemoryLimit(c.limit);
    // Data this small never fill the memory: any size or method decodes alike.
    Decoded got = decodeEntry(decoder, withHeader(c.header), data.size());
    if (c.want == DecodeStatus::kDone) {
      EXPECT_TRUE(got.ok() && got.output == data) << std::hex << c.header;
    } else {
      EXPECT_EQ(got.status, static_cast<int>(c.want)) << std::hex << c.header;
    }
  }
  PpmdDecoder decoder;
  for (size_t cut = 0; cut < 6; ++cut) {
    Decoded got = decodeEntry(decoder, Bytes(stream.begin(), stream.begin() + cut), data.size());
    EXPECT_EQ(got.status, static_cast<int>(DecodeStatus::kDamaged)) << cut;
  }
}

}  // namespace
}  // namespace extractor::testing
