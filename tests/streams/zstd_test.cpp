// Our Zstandard decoder against libzstd: levels and frame options, several
// frames and skippable ones, windows against the entry's size, headers it
// refuses, cut streams and damaged streams.
#include <gtest/gtest.h>

#include <random>

#include <zstd.h>
#include "reference_codecs.h"
#include "stream_driver.h"

#include "zstd/zstd.h"

namespace extractor::testing {
namespace {

Bytes operator+(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

Bytes skippableFrame(uint8_t variant, size_t size) {
  Bytes frame = {static_cast<uint8_t>(0x50 + variant), 0x2A, 0x4D, 0x18, static_cast<uint8_t>(size),
                 static_cast<uint8_t>(size >> 8),      0,    0};
  frame.resize(8 + size, 0xEE);
  return frame;
}

TEST(Zstd, EveryLevelWithAndWithoutChecksumAndContentSize) {
  ZstdDecoder decoder;
  for (const DataCase& c : dataCases()) {
    // Checksum and content size by turns with the level: each kind of data
    // meets all four, and compressing each level four times would be most of
    // the time spent.
    int turn = 0;
    for (int level : {-7, -1, 1, 2, 3, 4, 5, 6, 7, 9, 12, 15, 17, 19}) {
      const bool large = c.data.size() > 300000;
      if (large && level > 9 && level != 19) continue;
      const Bytes data =
          large && level == 19 ? Bytes(c.data.begin(), c.data.begin() + 300000) : c.data;
      const int options = turn++ % 4;
      const Bytes stream = zstdCompress(data, {level, options % 2 == 1, options < 2});
      for (size_t step : {size_t{0}, size_t{777}}) {
        Decoded got = decodeEntry(decoder, stream, data.size(), step, step ? 5000 : 1 << 20);
        ASSERT_TRUE(got.ok()) << c.name << " level " << level << " options " << options
                              << " status " << got.status;
        ASSERT_TRUE(got.output == data) << c.name << " level " << level;
      }
    }
  }
}

TEST(Zstd, TinyInputStepsAndOutputAreas) {
  const Bytes data = textBytes(30000, 5) + runBytes(20000, 6) + randomBytes(5000, 7);
  const Bytes stream = zstdCompress(data, {5, true});
  ZstdDecoder decoder;
  const std::pair<size_t, uint32_t> shapes[] = {{1, 1},      {1, 100000}, {3, 7},
                                                {100000, 1}, {64, 4096},  {4096, 64}};
  for (const auto& [step, area] : shapes) {
    Decoded got = decodeEntry(decoder, stream, data.size(), step, area);
    ASSERT_TRUE(got.ok()) << step << " " << area;
    EXPECT_TRUE(got.output == data) << step << " " << area;
  }
}

TEST(Zstd, SeveralFramesAndSkippableFrames) {
  const Bytes a = textBytes(100000, 1), b = binaryBytes(70000, 2);
  const Bytes fa = zstdCompress(a, {3, true}), fb = zstdCompress(b, {1, false, false});
  const Bytes empty = zstdCompress({}, {3});
  const struct {
    const char* name;
    Bytes stream;
    Bytes want;
  } cases[] = {
      {"two frames", fa + fb, a + b},
      {"skippable between", fa + skippableFrame(0, 100) + fb, a + b},
      {"skippable first and last", skippableFrame(15, 0) + fb + skippableFrame(7, 300), b},
      {"empty frames around", empty + fa + empty, a},
      {"only skippable", skippableFrame(3, 10), {}},
  };
  ZstdDecoder decoder;
  for (const auto& c : cases) {
    for (size_t step : {size_t{0}, size_t{5}, size_t{4000}}) {
      Decoded got = decodeEntry(decoder, c.stream, c.want.size(), step, 3000);
      ASSERT_TRUE(got.ok()) << c.name << " step " << step;
      EXPECT_TRUE(got.output == c.want) << c.name;
    }
  }
}

TEST(Zstd, WindowNoLargerThanTheEntryAndSlidingWindows) {
  ZstdDecoder decoder;
  // A frame that states 128 MiB of window, for 20 KB of content.
  const Bytes small = textBytes(20000, 3);
  for (bool contentSize : {true, false}) {
    Decoded got =
        decodeEntry(decoder, zstdCompress(small, {3, false, contentSize, 27}), small.size());
    ASSERT_TRUE(got.ok() && got.output == small);
    EXPECT_LE(decoder.windowCapacity(), small.size());
  }
  // Windows far smaller than the content: history slides within the buffer.
  const Bytes large = textBytes(3000000, 4) + runBytes(2000000, 5);
  for (int windowLog : {10, 17, 18}) {
    const Bytes stream = zstdCompress(large, {6, true, windowLog != 17, windowLog});
    Decoded got = decodeEntry(decoder, stream, large.size(), windowLog == 10 ? 1000 : 0);
    ASSERT_TRUE(got.ok()) << windowLog;
    EXPECT_TRUE(got.output == large) << windowLog;
    EXPECT_LT(decoder.windowCapacity(), large.size()) << windowLog;
  }
  // More content than the entry holds.
  Decoded got = decodeEntry(decoder, zstdCompress(small, {3, false, false}), small.size() - 1);
  EXPECT_FALSE(got.ok());
}

// Frames made by hand: header bytes, then one last raw block of 2 bytes.
TEST(Zstd, FrameHeadersRefusedOrAccepted) {
  const Bytes block = {0x11, 0x00, 0x00, 'h', 'i'};
  const Bytes magic = {0x28, 0xB5, 0x2F, 0xFD};
  const struct {
    const char* name;
    Bytes header;
    int want;  // -1: decodes to "hi"
  } cases[] = {
      {"plain, 1 KiB window", {0x00, 0x00}, -1},
      {"window of 2 GiB", {0x00, 0xA8}, -1},
      {"window over 2 GiB", {0x00, 0xA9}, int(DecodeStatus::kDamaged)},
      {"single segment over 2 GiB", {0xE0, 1, 0, 0, 0x80, 0, 0, 0, 0}, int(DecodeStatus::kDamaged)},
      {"reserved bit", {0x08, 0x00}, int(DecodeStatus::kDamaged)},
      {"dictionary ID", {0x01, 0x00, 0x07}, int(DecodeStatus::kUnsupported)},
      {"dictionary ID 0", {0x02, 0x00, 0x00, 0x00}, -1},
      {"content size 2", {0x20, 0x02}, -1},
      {"content size 3", {0x20, 0x03}, int(DecodeStatus::kDamaged)},
      {"block over the window", {0x20, 0x01}, int(DecodeStatus::kDamaged)},
  };
  ZstdDecoder decoder;
  for (const auto& c : cases) {
    Decoded got = decodeEntry(decoder, magic + c.header + block, 2);
    if (c.want < 0) {
      EXPECT_TRUE(got.ok() && got.output == Bytes({'h', 'i'})) << c.name;
    } else {
      EXPECT_TRUE(got.failed && got.status == c.want) << c.name << " " << got.status;
    }
  }
}

// Single-segment frames of 5 bytes of content with one block made by hand,
// for what libzstd does not write.
TEST(Zstd, BlocksMadeByHand) {
  const Bytes frame = {0x28, 0xB5, 0x2F, 0xFD, 0x20, 0x05};
  const int damaged = int(DecodeStatus::kDamaged);
  const struct {
    const char* name;
    Bytes block;
    int want;  // -1: decodes to "aaaaa"
  } cases[] = {
      {"one-byte literals, no sequences", {0x1D, 0, 0, 0x29, 'a', 0x00}, -1},
      {"bytes after no sequences", {0x25, 0, 0, 0x29, 'a', 0x00, 0x00}, damaged},
      {"RLE block", {0x2B, 0, 0, 'a'}, -1},
      {"reserved block type", {0x2F, 0, 0, 'a'}, damaged},
      {"first literals without a table",
       {0x2D, 0, 0, 0x53, 0x40, 0x00, 0x80, 0x00},
       int(DecodeStatus::kUnsupported)},
  };
  ZstdDecoder decoder;
  for (const auto& c : cases) {
    Decoded got = decodeEntry(decoder, frame + c.block, 5);
    if (c.want < 0) {
      EXPECT_TRUE(got.ok() && got.output == Bytes(5, 'a')) << c.name << " " << got.status;
    } else {
      EXPECT_TRUE(got.failed && got.status == c.want) << c.name << " " << got.status;
    }
  }
  // No input at all, before it is complete and when it is.
  StreamStart start;
  decoder.reset(start);
  uint32_t inPos = 0, outPos = 0;
  EXPECT_EQ(decoder.step(nullptr, 0, false, inPos, nullptr, 0, outPos), DecodeStatus::kMoreInput);
  EXPECT_EQ(decoder.step(nullptr, 0, true, inPos, nullptr, 0, outPos), DecodeStatus::kDamaged);
  // What follows the last frame must be a frame.
  const Bytes good = frame + Bytes{0x2B, 0, 0, 'a'};
  ASSERT_TRUE(decodeEntry(decoder, good, 5).ok());
  for (const Bytes& tail : {Bytes{'A', 'B', 'C', 'D'}, Bytes{0x28, 0xB5}}) {
    EXPECT_FALSE(decodeEntry(decoder, good + tail, 5).ok());
  }
}

// Literal runs and matches of every short length, with offsets below 16
// (the pattern laid out first) and up to 40, ending the content so that
// the last copies run into the slack past the window's buffer, which the
// content's size bounds; Huffman-coded literals in one or four streams of
// every length modulo 4.
TEST(Zstd, ShortOffsetsAndRunsUpToTheBufferEnd) {
  std::mt19937 rng(21);
  ZstdDecoder decoder;
  for (size_t size : {size_t{40}, size_t{700}, size_t{1001}, size_t{4099}, size_t{70001}}) {
    for (int variant = 0; variant < 6; ++variant) {
      Bytes data;
      while (data.size() < size + variant) {
        for (unsigned n = rng() % 70; n > 0; --n)
          data.push_back(static_cast<uint8_t>('a' + rng() % 12));
        const size_t offset = 1 + rng() % 40;
        if (offset > data.size()) continue;
        for (unsigned n = 3 + rng() % 150; n > 0; --n) data.push_back(data[data.size() - offset]);
      }
      data.resize(size + variant);
      for (int level : {-3, 1, 3, 19}) {
        const Bytes stream = zstdCompress(data, {level, variant % 2 == 1});
        Decoded got = decodeEntry(decoder, stream, data.size(), 0, variant < 3 ? 1 << 20 : 777);
        ASSERT_TRUE(got.ok()) << size << " " << variant << " level " << level;
        ASSERT_TRUE(got.output == data) << size << " " << variant << " level " << level;
      }
    }
  }
}

TEST(Zstd, FrameNeedingADictionaryIsRefused) {
  const Bytes dictionary = textBytes(50000, 8);
  const Bytes data = textBytes(20000, 8);  // the dictionary's own start
  ZSTD_CCtx* cctx = ZSTD_createCCtx();
  Bytes stream(ZSTD_compressBound(data.size()));
  stream.resize(ZSTD_compress_usingDict(cctx, stream.data(), stream.size(), data.data(),
                                        data.size(), dictionary.data(), dictionary.size(), 3));
  ZSTD_freeCCtx(cctx);
  ZstdDecoder decoder;
  Decoded got = decodeEntry(decoder, stream, data.size());
  EXPECT_TRUE(got.failed && got.status == int(DecodeStatus::kUnsupported)) << got.status;
}

TEST(Zstd, CutStreamsFail) {
  const Bytes data = textBytes(200000, 6) + binaryBytes(50000, 6);
  ZstdDecoder decoder;
  for (bool checksum : {true, false}) {
    const Bytes stream = zstdCompress(data, {3, checksum, !checksum});
    for (size_t cut = 0; cut < stream.size(); cut = nextCut(cut)) {
      Decoded got = decodeEntry(decoder, Bytes(stream.begin(), stream.begin() + cut), data.size(),
                                cut % 2 ? 1500 : 0, 1 << 16);
      ASSERT_FALSE(got.ok()) << "cut at " << cut;
    }
  }
}

TEST(Zstd, DamagedStreamsFailOrAgreeWithLibzstd) {
  std::mt19937 rng(13);
  const Bytes data = textBytes(30000, 12) + runBytes(10000, 12);
  ZstdDecoder decoder;
  for (int level : {1, 3, 19}) {
    for (bool checksum : {false, true}) {
      const Bytes original = zstdCompress(data, {level, checksum});
      for (int trial = 0; trial < 700; ++trial) {
        Bytes stream = original;
        for (int flips = 1 + trial % 3; flips > 0; --flips) {
          stream[rng() % stream.size()] ^= static_cast<uint8_t>(1u << (rng() % 8));
        }
        Decoded got = decodeEntry(decoder, stream, data.size(), trial % 2 ? 333 : 0, 7000);
        if (!got.ok()) continue;
        const std::optional<Bytes> want = zstdReference(stream, data.size());
        ASSERT_TRUE(want) << "level " << level << " trial " << trial;
        ASSERT_TRUE(got.output == *want) << "level " << level << " trial " << trial;
      }
    }
  }
}

}  // namespace
}  // namespace extractor::testing
