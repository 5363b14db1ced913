// Our bzip2 decoder against libbz2: real streams at every block size,
// driven in small and large steps; concatenated streams; cut streams; and
// damaged streams, where both must agree on whether and what they decode.
#include <gtest/gtest.h>

#include <random>

#include "bzip2/bzip2.h"
#include "reference_codecs.h"
#include "stream_driver.h"

namespace extractor::testing {
namespace {

struct Driving {
  size_t inputStep;
  uint32_t outputArea;
};
constexpr Driving kDrivings[] = {{0, 1 << 20}, {4096, 3000}, {65536 + 7, 100000}};

TEST(Bzip2, EveryBlockSizeAndKindOfData) {
  Bzip2Decoder decoder;
  for (const DataCase& c : dataCases()) {
    for (int level = 1; level <= 9; ++level) {
      const Bytes stream = bzip2Compress(c.data, level);
      for (const Driving& d : kDrivings) {
        if (c.data.size() > 300000 && level % 4 != 1 && d.inputStep != 0) continue;
        decoder.reset({});
        Decoded got = drive(decoder, stream, d.inputStep, d.outputArea);
        ASSERT_TRUE(got.ok()) << c.name << " level " << level << " step " << d.inputStep;
        ASSERT_TRUE(got.output == c.data) << c.name << " level " << level;
      }
    }
  }
}

TEST(Bzip2, ConcatenatedStreamsOfGrowingBlockSize) {
  Bytes whole, expected;
  for (int level : {1, 9, 4}) {
    const Bytes part = textBytes(150000 * level, static_cast<uint32_t>(level));
    const Bytes stream = bzip2Compress(part, level);
    whole.insert(whole.end(), stream.begin(), stream.end());
    expected.insert(expected.end(), part.begin(), part.end());
  }
  Bzip2Decoder decoder;
  Decoded got = drive(decoder, whole, 1000, 50000);
  ASSERT_TRUE(got.ok());
  EXPECT_TRUE(got.output == expected);

  // Whatever follows a stream has to be another stream.
  whole.push_back(0);
  decoder.reset({});
  EXPECT_TRUE(drive(decoder, whole, 0, 1 << 20).failed);
}

TEST(Bzip2, CutStreamsEndWithAnError) {
  const Bytes stream = bzip2Compress(textBytes(200000, 5), 9);
  Bzip2Decoder decoder;
  for (size_t cut = 0; cut < stream.size(); cut = nextCut(cut)) {
    decoder.reset({});
    Decoded got =
        drive(decoder, Bytes(stream.begin(), stream.begin() + cut), cut % 2 ? 1500 : 0, 1 << 16);
    ASSERT_FALSE(got.ok()) << "cut at " << cut;
  }
}

TEST(Bzip2, DamagedStreamsAgreeWithLibbz2) {
  std::mt19937 rng(7);
  const Bytes original = bzip2Compress(runBytes(30000, 8), 1);
  Bzip2Decoder decoder;
  for (int trial = 0; trial < 3000; ++trial) {
    Bytes stream = original;
    const int flips = 1 + static_cast<int>(rng() % 3);
    for (int i = 0; i < flips; ++i) {
      // Mostly in the headers, where a flip more often leaves a stream
      // both decoders still read.
      const size_t at =
          rng() % 2 ? rng() % std::min<size_t>(stream.size(), 200) : rng() % stream.size();
      stream[at] ^= static_cast<uint8_t>(1u << (rng() % 8));
    }
    decoder.reset({});
    Decoded got = drive(decoder, stream, trial % 2 ? 333 : 0, 70000);
    std::optional<Bytes> want = bzip2Reference(stream);
    ASSERT_EQ(got.ok(), want.has_value()) << "trial " << trial;
    if (want) {
      ASSERT_TRUE(got.output == *want) << "trial " << trial;
    }
  }
}

// Writers before version 0.9.5 could mark a block randomised: bytes at
// the table's spacing have their lowest bit flipped. Setting the mark on a
// block of today's makes both decoders flip the same bytes, then find the
// block's CRC wrong.
TEST(Bzip2, RandomisedBlockAgreesWithLibbz2) {
  const Bytes data = binaryBytes(50000, 4);
  Bytes stream = bzip2Compress(data, 1);
  stream[14] |= 0x80;  // after "BZh1", the block magic and the block CRC
  Bytes want;
  ASSERT_FALSE(bzip2Reference(stream, &want));
  ASSERT_GT(want.size(), 40000u);
  ASSERT_NE(want, data);
  for (uint32_t area : {70000u, 1000u}) {
    Bzip2Decoder decoder;
    Decoded got = drive(decoder, stream, 0, area);
    EXPECT_FALSE(got.ok());
    EXPECT_TRUE(got.output == want) << area;
  }
}

}  // namespace
}  // namespace extractor::testing
