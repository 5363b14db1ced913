// Our LZMA decoder against liblzma: every preset, with and without the end
// marker, literal and position settings, cut streams, damaged streams, and
// the dictionary it allocates for a small entry.
#include <gtest/gtest.h>

#include <random>

#include "lzma/lzma.h"
#include "reference_codecs.h"
#include "stream_driver.h"

namespace extractor::testing {
namespace {

Decoded decodeLzma(LzmaDecoder& decoder, const Bytes& stream, uint32_t size, bool endMarker,
                   size_t inputStep = 0, uint32_t outputArea = 1 << 20) {
  decoder.reset({size, endMarker ? kLzmaEndMarkerFlag : uint16_t{0}});
  return drive(decoder, stream, inputStep, outputArea);
}

// The end marker alternates with the preset, so that each kind of data
// meets both: compressing at every preset twice is most of the time spent.
TEST(Lzma, EveryPresetWithAndWithoutEndMarker) {
  LzmaDecoder decoder;
  for (const DataCase& c : dataCases()) {
    for (int preset = 0; preset <= 9; ++preset) {
      if (c.data.size() > 300000 && (preset % 3 != 0 || preset == 9)) continue;
      const bool endMarker = preset % 2 == 1;
      const Bytes stream = lzmaCompress(c.data, {preset, endMarker});
      const uint32_t size = static_cast<uint32_t>(c.data.size());
      for (size_t step : {size_t{0}, size_t{777}}) {
        Decoded got = decodeLzma(decoder, stream, size, endMarker, step, step ? 5000 : 1 << 20);
        ASSERT_TRUE(got.ok()) << c.name << " preset " << preset << " marker " << endMarker;
        ASSERT_TRUE(got.output == c.data) << c.name << " preset " << preset;
      }
    }
  }
}

TEST(Lzma, LiteralAndPositionSettings) {
  const Bytes data = binaryBytes(300000, 9);
  LzmaDecoder decoder;
  const int settings[][3] = {{0, 0, 0}, {4, 0, 4}, {0, 4, 0}, {3, 1, 1}, {1, 3, 2}, {2, 2, 3}};
  for (const auto& s : settings) {
    LzmaOptions options{3, true, s[0], s[1], s[2]};
    const Bytes stream = lzmaCompress(data, options);
    Decoded got = decodeLzma(decoder, stream, static_cast<uint32_t>(data.size()), true, 4096);
    ASSERT_TRUE(got.ok()) << s[0] << s[1] << s[2];
    EXPECT_TRUE(got.output == data);
  }
}

TEST(Lzma, SmallEntryAllocatesNoLargeDictionary) {
  const Bytes data = textBytes(10000, 3);
  const Bytes stream = lzmaCompress(data, {9, true});  // states 64 MiB
  LzmaDecoder decoder;
  Decoded got = decodeLzma(decoder, stream, static_cast<uint32_t>(data.size()), true);
  ASSERT_TRUE(got.ok());
  EXPECT_EQ(decoder.dictionarySize(), data.size());
}

TEST(Lzma, CutStreamsEndWithAnError) {
  const Bytes data = textBytes(200000, 6);
  LzmaDecoder decoder;
  for (bool endMarker : {true, false}) {
    const Bytes stream = lzmaCompress(data, {6, endMarker});
    for (size_t cut = 0; cut < stream.size(); cut = nextCut(cut)) {
      Decoded got =
          decodeLzma(decoder, Bytes(stream.begin(), stream.begin() + cut),
                     static_cast<uint32_t>(data.size()), endMarker, cut % 2 ? 1500 : 0, 1 << 16);
      ASSERT_FALSE(got.ok() && got.output.size() == data.size()) << "cut at " << cut;
    }
  }
}

TEST(Lzma, DamagedStreamsAgreeWithLiblzma) {
  std::mt19937 rng(11);
  const Bytes data = textBytes(20000, 12);
  LzmaDecoder decoder;
  for (bool endMarker : {true, false}) {
    const Bytes original = lzmaCompress(data, {1, endMarker});
    for (int trial = 0; trial < 1500; ++trial) {
      Bytes stream = original;
      stream[9 + rng() % (stream.size() - 9)] ^= static_cast<uint8_t>(1u << (rng() % 8));
      const uint32_t size = static_cast<uint32_t>(data.size());
      Decoded got = decodeLzma(decoder, stream, size, endMarker, trial % 2 ? 333 : 0, 7000);
      std::optional<Bytes> want = lzmaReference(stream, size, endMarker);
      // liblzma also wants the range coder's last bytes to be zero; the
      // data decoded still have to agree.
      if (want) {
        ASSERT_TRUE(got.ok()) << "trial " << trial;
        ASSERT_TRUE(got.output == *want) << "trial " << trial;
      } else if (got.ok()) {
        ASSERT_TRUE(endMarker || got.output.size() == size) << "trial " << trial;
      }
    }
  }
}

}  // namespace
}  // namespace extractor::testing
