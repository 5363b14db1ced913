// Our xz decoder against liblzma's encoder and decoder: every preset and
// check, the x86 filter, several blocks and streams, cut and damaged
// streams, refused filters and checks, 7z's ZIP entries; and the LZMA2
// chunk kinds that liblzma's encoder writes rarely, put together by hand.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>

#include "crypto/crc32.h"
#include "lzma/lzma.h"
#include "reference_codecs.h"
#include "stream_driver.h"
#include "xz/xz.h"

namespace extractor::testing {
namespace {

Bytes concat(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}

constexpr int kChecks[] = {0, 1, 4, 10};
constexpr uint64_t kDeltaFilter = 0x03, kArmFilter = 0x07;

void storeCrc(Bytes& b, size_t at, size_t from, size_t size) {
  const uint32_t crc = crc32Update(0, b.data() + from, static_cast<int32_t>(size));
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(crc >> 8 * i);
}

TEST(Xz, EveryPresetAndCheck) {
  XzDecoder decoder;
  for (const DataCase& c : dataCases()) {
    for (int preset = 0; preset <= 9; ++preset) {
      if (c.data.size() > 300000 && (preset % 3 != 0 || preset == 9)) continue;
      const XzOptions options{preset, preset == 6, kChecks[preset % 4]};
      const Bytes stream = xzCompress(c.data, options);
      // Whole and in small steps by turns: each kind of data meets both.
      const size_t step = preset % 2 == 1 ? 777 : 0;
      Decoded got = decodeEntry(decoder, stream, c.data.size(), step, step ? 5000 : 1 << 20);
      ASSERT_TRUE(got.ok()) << c.name << " preset " << preset << " status " << got.status;
      ASSERT_TRUE(got.output == c.data) << c.name << " preset " << preset;
    }
  }
}

TEST(Xz, FiltersBlocksAndSteps) {
  const Bytes code = x86Bytes(300000, 5);
  const Bytes text = textBytes(200000, 6);
  struct Case {
    const char* name;
    const Bytes& data;
    XzOptions options;
  };
  const Case cases[] = {
      {"x86", code, {6, false, 4, 0}},
      {"x86 at an offset", code, {1, false, 1, 0x10000}},
      {"x86 in blocks", code, {2, false, 10, 0, 50000}},
      {"blocks", text, {3, false, 1, -1, 30000}},
  };
  const std::pair<size_t, uint32_t> steps[] = {{0, 1}, {1, 4096}, {4099, 3}, {65536, 100000}};
  XzDecoder decoder;
  for (const Case& c : cases) {
    const Bytes stream = xzCompress(c.data, c.options);
    for (const auto& [step, area] : steps) {
      if (area == 1 && c.data.size() > 100000 && c.options.x86Start != 0) continue;
      Decoded got = decodeEntry(decoder, stream, c.data.size(), step, area);
      ASSERT_TRUE(got.ok()) << c.name << " step " << step << " status " << got.status;
      ASSERT_TRUE(got.output == c.data) << c.name << " step " << step;
    }
  }
}

TEST(Xz, StreamsAndPadding) {
  const Bytes a = textBytes(50000, 1), b = x86Bytes(40000, 2);
  const Bytes sa = xzCompress(a, {1, false, 1}), sb = xzCompress(b, {6, false, 10, 0});
  const Bytes empty = xzCompress({}, {0, false, 0});
  const Bytes four(4, 0), eight(8, 0), three(3, 0);
  struct Case {
    const char* name;
    Bytes stream;
    bool ok;
  };
  const Case cases[] = {
      {"two streams", concat({sa, sb}), true},
      {"padding between and after", concat({sa, four, empty, eight, sb, four}), true},
      {"padding not of four", concat({sa, three, sb}), false},
      {"padding at the end not of four", concat({sa, three}), false},
      {"garbage after", concat({sa, Bytes{1, 2, 3, 4}}), false},
      {"padding first", concat({four, sa}), false},
  };
  XzDecoder decoder;
  for (const Case& c : cases) {
    for (size_t step : {size_t{0}, size_t{1}, size_t{13}}) {
      Decoded got = decodeEntry(decoder, c.stream, a.size() + b.size(), step, 999);
      const std::optional<Bytes> want = xzReference(c.stream);
      ASSERT_EQ(got.ok(), c.ok) << c.name << " step " << step;
      ASSERT_EQ(want.has_value(), c.ok) << c.name;
      if (c.ok) {
        ASSERT_TRUE(got.output == *want) << c.name;
      }
    }
  }
}

TEST(Xz, SmallEntryAllocatesNoLargeDictionary) {
  const Bytes data = textBytes(10000, 3);
  XzDecoder decoder;
  Decoded got = decodeEntry(decoder, xzCompress(data, {9}), data.size());  // states 64 MiB
  ASSERT_TRUE(got.ok());
  EXPECT_EQ(decoder.dictionarySize(), data.size());
}

TEST(Xz, CutStreamsNeverSucceed) {
  const Bytes data = concat({textBytes(60000, 6), x86Bytes(30000, 7)});
  XzDecoder decoder;
  for (const XzOptions& options : {XzOptions{6, false, 4}, XzOptions{1, false, 0, 0, 20000}}) {
    const Bytes stream = xzCompress(data, options);
    for (size_t cut = 0; cut < stream.size(); cut = nextCut(cut, 331)) {
      Decoded got = decodeEntry(decoder, Bytes(stream.begin(), stream.begin() + cut), data.size(),
                                cut % 2 ? 1500 : 0, 1 << 16);
      ASSERT_FALSE(got.ok()) << "cut at " << cut;
    }
  }
}

TEST(Xz, DamagedStreamsAgreeWithLiblzma) {
  std::mt19937 rng(11);
  const Bytes data = concat({textBytes(15000, 12), x86Bytes(5000, 13)});
  XzDecoder decoder;
  const XzOptions variants[] = {
      {1, false, 0}, {1, false, 1}, {2, false, 0, 0}, {0, false, 4, -1, 6000}};
  for (const XzOptions& options : variants) {
    const Bytes original = xzCompress(data, options);
    for (int trial = 0; trial < 600; ++trial) {
      Bytes stream = original;
      for (int flips = 1 + trial % 3; flips > 0; --flips) {
        stream[rng() % stream.size()] ^= static_cast<uint8_t>(1u << (rng() % 8));
      }
      Decoded got = decodeEntry(decoder, stream, data.size(), trial % 2 ? 333 : 0, 7000);
      const std::optional<Bytes> want = xzReference(stream);
      if (got.ok() && want) {
        ASSERT_TRUE(got.output == *want) << "trial " << trial;
      }
      // Without a check the damage may go unseen, but never past the sizes.
      if (got.ok()) {
        ASSERT_TRUE(options.check == 0 || got.output == data) << "trial " << trial;
      }
    }
  }
}

TEST(Xz, RefusalsSayWhy) {
  const Bytes data = textBytes(30000, 4);
  Bytes wrongCheck = xzCompress(data, {1, false, 4});
  // The check ends the only block; the index (12 bytes here) and the
  // footer follow.
  wrongCheck[wrongCheck.size() - 12 - 12 - 1] ^= 1;
  Bytes unknownCheck = xzCompress({}, {0, false, 0});
  Bytes badHeaderCrc = unknownCheck;
  badHeaderCrc[7] = 1;
  // Check ID 2 (4 bytes) is not one this decoder knows; the stream flags
  // stand in the header and the footer, each with its CRC.
  const size_t n = unknownCheck.size();
  unknownCheck[7] = unknownCheck[n - 3] = 2;
  storeCrc(unknownCheck, 8, 6, 2);
  storeCrc(unknownCheck, n - 12, n - 8, 6);
  const struct {
    const char* name;
    Bytes stream;
    DecodeStatus status;
  } cases[] = {
      {"delta filter", xzCompress(data, {1, false, 4, -1, 0, kDeltaFilter}),
       DecodeStatus::kUnsupported},
      {"ARM filter", xzCompress(data, {1, false, 4, -1, 0, kArmFilter}),
       DecodeStatus::kUnsupported},
      {"wrong check", wrongCheck, DecodeStatus::kDamaged},
      {"unknown check", unknownCheck, DecodeStatus::kUnsupported},
      {"header CRC", badHeaderCrc, DecodeStatus::kDamaged},
  };
  XzDecoder decoder;
  for (const auto& c : cases) {
    Decoded got = decodeEntry(decoder, c.stream, data.size());
    ASSERT_TRUE(got.failed) << c.name;
    EXPECT_EQ(got.status, static_cast<int>(c.status)) << c.name;
  }
}

// 7z's ZIP entries of method 95: their data decode to the file.
TEST(Xz, SevenZipEntries) {
  namespace fs = std::filesystem;
  if (std::system("7z i >/dev/null 2>&1") != 0) GTEST_SKIP() << "7z is not installed";
  const fs::path dir = fs::temp_directory_path() / ("xz-7z-" + std::to_string(getpid()));
  fs::create_directories(dir);
  const Bytes data = concat({textBytes(300000, 3), x86Bytes(200000, 4)});
  std::ofstream(dir / "data.bin", std::ios::binary)
      .write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
  XzDecoder decoder;
  for (const char* options : {"-mx=1", "-mx=9", "-mx=5 -mmt=2"}) {
    const fs::path zip = dir / "data.zip";
    fs::remove(zip);
    ASSERT_EQ(std::system(("cd " + dir.string() + " && 7z a -bd -tzip -mm=XZ " + options +
                           " data.zip data.bin >/dev/null 2>&1")
                              .c_str()),
              0);
    std::ifstream in(zip, std::ios::binary);
    const Bytes archive{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    // The local header: method at 8, compressed size at 18, name and extra
    // field lengths at 26 and 28, the data after 30 bytes and those.
    auto load16 = [&](size_t at) {
      return size_t{archive.at(at)} | size_t{archive.at(at + 1)} << 8;
    };
    ASSERT_EQ(load16(8), 95u) << options;
    const size_t packed = load16(18) | load16(20) << 16, start = 30 + load16(26) + load16(28);
    const Bytes entry(archive.begin() + start, archive.begin() + start + packed);
    Decoded got = decodeEntry(decoder, entry, data.size(), 4096, 65536);
    ASSERT_TRUE(got.ok()) << options;
    EXPECT_TRUE(got.output == data) << options;
  }
  fs::remove_all(dir);
}

// Raw LZMA2 of a and b joined: a's end chunk dropped, b's first control
// byte replaced. With a of a multiple of 16 bytes, b's positions keep
// their low bits, and with a's last byte below 32 the first literal's
// context is that of a fresh dictionary: b decodes the same without the
// dictionary reset.
TEST(Lzma2, ChunkResets) {
  const Bytes a = concat({textBytes(159999, 8), Bytes{'\n'}}), text = textBytes(50000, 9),
              random = randomBytes(70000, 10);
  const struct {
    const char* name;
    const Bytes& b;
    uint8_t control;  // bits 5-7 of b's first control byte, or the whole
    bool ok;
  } cases[] = {
      {"dictionary reset", text, 0xE0, true},
      {"new properties", text, 0xC0, true},
      {"state reset", text, 0xA0, true},

      {"stored, dictionary reset", random, 0x01, true},
      {"stored", random, 0x02, true},
  };
  const Bytes first = lzma2Compress(a, 6);
  LzmaDecoder decoder;
  for (const auto& c : cases) {
    Bytes second = lzma2Compress(c.b, 6);
    second[0] = c.control < 0x80 ? c.control : static_cast<uint8_t>(c.control | (second[0] & 0x1F));
    if (c.control == 0xA0) second.erase(second.begin() + 5);  // no properties byte
    const Bytes stream = concat({Bytes(first.begin(), first.end() - 1), second});
    decoder.resetLzma2(1 << 20);
    Decoded got = drive(decoder, stream, 1000, 7777);
    ASSERT_EQ(got.ok(), c.ok) << c.name;
    if (c.ok) {
      ASSERT_TRUE(got.output == concat({a, c.b})) << c.name;
    }
  }
}

TEST(Lzma2, FirstChunkMustResetTheDictionary) {
  Bytes stream = lzma2Compress(textBytes(1000, 1), 1);
  LzmaDecoder decoder;
  for (uint8_t control : {0xC0, 0xA0, 0x80}) {
    stream[0] = static_cast<uint8_t>(control | (stream[0] & 0x1F));
    decoder.resetLzma2(1 << 16);
    ASSERT_FALSE(drive(decoder, stream, 0, 4096).ok()) << int{control};
  }
}

}  // namespace
}  // namespace extractor::testing
