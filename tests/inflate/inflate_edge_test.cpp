// Cases at the edges of the format and of the call contract, on streams
// written bit by bit. Every call runs both decoders and checks that they
// agree.
#include <gtest/gtest.h>

#include <string>

#include "deflate_writer.h"
#include "dual_decoder.h"

namespace extractor::testing {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes text(const std::string& s) {
  return Bytes(s.begin(), s.end());
}

class Calls {
 public:
  explicit Calls(Bytes input, uint32_t limit = 1u << 16) : input_(std::move(input)), dual_(limit) {}
  ZipError step(uint32_t limit = 1u << 16) {
    ZipError e = dual_.step(input_.data(), static_cast<uint32_t>(input_.size()), limit);
    EXPECT_TRUE(dual_.agreed()) << dual_.mismatch();
    return e;
  }
  const InflateState& state() const { return dual_.state(); }
  Bytes output() { return Bytes(dual_.output(), dual_.output() + state().outPos); }

 private:
  Bytes input_;
  DualDecoder dual_;
};

Bytes storedStream(const std::vector<Bytes>& blocks) {
  BitWriter w;
  for (size_t i = 0; i < blocks.size(); ++i) {
    writeStoredBlock(w, i + 1 == blocks.size(), blocks[i].data(),
                     static_cast<uint16_t>(blocks[i].size()));
  }
  return w.bytes();
}

TEST(InflateStored, EmptyBlockEndsTheCallWithNoOutput) {
  Calls calls(storedStream({{}}));
  EXPECT_EQ(zipErrNone, calls.step());
  EXPECT_EQ(0u, calls.state().outPos);
  EXPECT_EQ(5u, calls.state().inPos);
  EXPECT_EQ(8, calls.state().blockState);
}

TEST(InflateStored, OneBlockPerCallWhateverTheBudget) {
  Bytes big(40000, 'x');
  Calls calls(storedStream({text("first"), big}));
  EXPECT_EQ(zipErrNone, calls.step(0));
  EXPECT_EQ(text("first"), calls.output());
  EXPECT_EQ(10u, calls.state().inPos);
  EXPECT_EQ(zipErrNone, calls.step(0));
  EXPECT_EQ(40005u, calls.state().outPos);
  EXPECT_EQ(8, calls.state().blockState);
  EXPECT_EQ(0, calls.state().bitCount);
}

TEST(InflateStored, ComplementOffByOneBitFails) {
  for (unsigned bit = 0; bit < 16; ++bit) {
    Bytes stream = storedStream({text("abc")});
    stream[3 + bit / 8] ^= static_cast<uint8_t>(1u << (bit % 8));
    Calls calls(stream);
    EXPECT_EQ(zipErrNotZipFile, calls.step()) << bit;
    EXPECT_EQ(0u, calls.state().outPos);
  }
}

TEST(InflateStored, WaitsUntilTheWholeBlockIsBuffered) {
  Bytes stream = storedStream({text("hello")});
  for (size_t cut = 0; cut < stream.size(); ++cut) {
    Calls calls(Bytes(stream.begin(), stream.begin() + cut));
    EXPECT_EQ(zipErrNone, calls.step());
    EXPECT_EQ(0u, calls.state().inPos) << cut;
    EXPECT_EQ(0u, calls.state().outPos);
    EXPECT_EQ(8, calls.state().blockState);
  }
}

// A stored block after a fixed one starts at the next whole byte.
TEST(InflateStored, StartsAtTheByteAfterTheHeaderBits) {
  BitWriter w;
  writeFixedHeader(w, false);
  HuffmanBlockWriter fixed(w, fixedLitLenLengths(), fixedDistLengths());
  fixed.literal('a');
  fixed.end();
  Bytes data = text("stored");
  writeStoredBlock(w, true, data.data(), static_cast<uint16_t>(data.size()));
  DriveResult r = driveWhole(w.bytes(), 1u << 16);
  ASSERT_TRUE(r.agreed) << r.mismatch;
  EXPECT_EQ(zipErrNone, r.error);
  EXPECT_EQ(text("astored"), r.output);
}

TEST(InflateMatch, DistanceOneRepeatsThePreviousByte) {
  BitWriter w;
  writeFixedHeader(w, true);
  HuffmanBlockWriter b(w, fixedLitLenLengths(), fixedDistLengths());
  b.literal('z');
  b.match(258, 1);
  b.match(3, 1);
  b.end();
  DriveResult r = driveWhole(w.bytes(), 1u << 16);
  ASSERT_TRUE(r.agreed) << r.mismatch;
  EXPECT_EQ(Bytes(262, 'z'), r.output);
}

TEST(InflateMatch, ReachesIntoTheHistory) {
  BitWriter w;
  writeFixedHeader(w, true);
  HuffmanBlockWriter b(w, fixedLitLenLengths(), fixedDistLengths());
  b.match(258, 32768);
  b.match(10, 3);
  b.end();
  DriveResult r = driveWhole(w.bytes(), 1u << 16);
  ASSERT_TRUE(r.agreed) << r.mismatch;
  Bytes expected;
  for (unsigned i = 0; i < 258; ++i) expected.push_back(historyByte(kHistorySize - 32768 + i));
  for (unsigned i = 0; i < 10; ++i) expected.push_back(expected[expected.size() - 3]);
  EXPECT_EQ(expected, r.output);
}

// Lengths on both sides of the distance and of the copy's word and block
// steps: a match that lies wholly before its output is copied differently
// from one that overlaps it.
TEST(InflateMatch, EveryCopyPathRepeatsTheBytesOneAtATime) {
  const unsigned distances[] = {1, 2, 3, 7, 8, 9, 15, 16, 17, 23, 39, 40, 41, 47, 64, 300};
  const unsigned lengths[] = {3, 4, 7, 8, 9, 15, 16, 17, 23, 39, 40, 41, 42, 72, 73, 258};
  BitWriter w;
  writeFixedHeader(w, true);
  HuffmanBlockWriter b(w, fixedLitLenLengths(), fixedDistLengths());
  Bytes expected;
  for (unsigned i = 0; i < 300; ++i) {
    const uint8_t literal = static_cast<uint8_t>(i * 7 + i / 5);
    b.literal(literal);
    expected.push_back(literal);
  }
  for (unsigned distance : distances) {
    for (unsigned length : lengths) {
      b.match(length, distance);
      for (unsigned i = 0; i < length; ++i)
        expected.push_back(expected[expected.size() - distance]);
      b.literal(static_cast<uint8_t>(length));
      expected.push_back(static_cast<uint8_t>(length));
    }
  }
  b.end();
  DriveResult r = driveWhole(w.bytes(), 1u << 16);
  ASSERT_TRUE(r.agreed) << r.mismatch;
  EXPECT_EQ(expected, r.output);
}

// Codes of 15 bits for the longest lengths and distances: a match then
// takes 48 bits, and the next 15-bit code has to be found in what is left
// of a 64-bit buffer. One-bit literals in between vary where matches start.
TEST(InflateMatch, MatchesOfLongCodesLeaveTooFewBitsForTheNextLookup) {
  std::vector<uint8_t> litLen(286, 0), dist(30, 0);
  litLen['a'] = 1;
  for (unsigned l = 2; l <= 14; ++l) litLen['b' + l - 2] = static_cast<uint8_t>(l);
  litLen[256] = litLen[284] = 15;
  dist[0] = 1;
  for (unsigned l = 2; l <= 14; ++l) dist[l - 1] = static_cast<uint8_t>(l);
  dist[28] = dist[29] = 15;
  std::mt19937 rng(5);
  BitWriter w;
  writeDynamicHeader(w, true, litLen, dist, rng);
  HuffmanBlockWriter b(w, litLen, dist);
  for (int i = 0; i < 3000; ++i) {
    for (unsigned k = rng() % 4; k > 0; --k) b.literal('a');
    b.rawMatch(284, rng() % 31, 29, rng() % 8192);
  }
  b.end();
  DriveResult r = driveWhole(w.bytes(), 1u << 22);
  ASSERT_TRUE(r.agreed) << r.mismatch;
  EXPECT_EQ(zipErrNone, r.error);
  EXPECT_GT(r.output.size(), 3000u * 227);
}

TEST(InflateMatch, DistanceCodes30And31Fail) {
  for (bool fixed : {true, false}) {
    for (unsigned code : {30u, 31u}) {
      BitWriter w;
      std::vector<uint8_t> litLen = fixedLitLenLengths(), dist = fixedDistLengths();
      if (fixed) {
        writeFixedHeader(w, true);
      } else {
        std::mt19937 rng(code);
        writeDynamicHeader(w, true, litLen, dist, rng);
      }
      HuffmanBlockWriter b(w, litLen, dist);
      b.literal('q');
      b.rawMatch(257, 0, code, 0);
      b.end();
      DriveResult r = driveWhole(w.bytes(), 1u << 16);
      ASSERT_TRUE(r.agreed) << r.mismatch;
      EXPECT_EQ(zipErrNotZipFile, r.error);
      EXPECT_EQ(text("q"), r.output) << fixed << code;
    }
  }
}

// Symbols 286 and 287 copy nothing but take their distance code and extra
// bits.
TEST(InflateMatch, Lengths286And287CopyNothing) {
  BitWriter w;
  writeFixedHeader(w, true);
  HuffmanBlockWriter b(w, fixedLitLenLengths(), fixedDistLengths());
  b.literal('a');
  b.rawMatch(286, 0, 29, 8191);
  b.rawMatch(287, 0, 4, 1);
  b.literal('b');
  b.end();
  DriveResult r = driveWhole(w.bytes(), 1u << 16);
  ASSERT_TRUE(r.agreed) << r.mismatch;
  EXPECT_EQ(zipErrNone, r.error);
  EXPECT_EQ(text("ab"), r.output);
}

Bytes fixedLiterals(size_t count, bool final = true) {
  BitWriter w;
  writeFixedHeader(w, final);
  HuffmanBlockWriter b(w, fixedLitLenLengths(), fixedDistLengths());
  for (size_t i = 0; i < count; ++i) b.literal(static_cast<uint8_t>('a' + i % 26));
  b.end();
  return w.bytes();
}

TEST(InflateBudget, FixedBlockStopsFiveBytesBeforeTheLimit) {
  Bytes stream = fixedLiterals(100);
  const uint32_t limit = 50;  // below the buffered count: more input would follow
  Calls calls(stream, 1u << 16);
  EXPECT_EQ(zipErrNone, calls.step(limit));
  EXPECT_GE(calls.state().inPos, limit - 5);
  EXPECT_LE(calls.state().inPos, limit - 4);
  EXPECT_EQ(3, calls.state().blockState);
  const uint32_t stoppedAt = calls.state().outPos;
  EXPECT_EQ(zipErrNone, calls.step(limit));
  EXPECT_EQ(stoppedAt, calls.state().outPos);
  EXPECT_EQ(zipErrNone, calls.step(static_cast<uint32_t>(stream.size())));
  EXPECT_EQ(8, calls.state().blockState);
  EXPECT_EQ(100u, calls.state().outPos);
}

TEST(InflateBudget, FixedBlockStopsAtTheOutputLimit) {
  Calls calls(fixedLiterals(100));
  EXPECT_EQ(zipErrNone, calls.step(1u << 16));
  EXPECT_EQ(100u, calls.state().outPos);
  Calls limited(fixedLiterals(100));
  // An output limit below the input count leaves the input budget in force.
  EXPECT_EQ(zipErrNone, limited.step(40));
  EXPECT_EQ(3, limited.state().blockState);
  EXPECT_LE(limited.state().outPos, 40u);
}

// With no more input to come (limit at least the buffered count) a fixed
// block runs to its end, also through its last five bytes.
TEST(InflateBudget, FinalFixedBlockFinishes) {
  Bytes stream = fixedLiterals(30);
  Calls calls(stream);
  EXPECT_EQ(zipErrNone, calls.step(static_cast<uint32_t>(stream.size())));
  EXPECT_EQ(8, calls.state().blockState);
  EXPECT_EQ(30u, calls.state().outPos);
  EXPECT_EQ(stream.size(), calls.state().inPos);
}

TEST(InflateBudget, DynamicBlockStops1024BeforeTheLimit) {
  std::mt19937 rng(7);
  BitWriter w;
  std::vector<uint8_t> litLen = fixedLitLenLengths(), dist = fixedDistLengths();
  writeDynamicHeader(w, true, litLen, dist, rng);
  HuffmanBlockWriter b(w, litLen, dist);
  b.literal('x');
  for (int i = 0; i < 40; ++i) b.match(258, 1);
  b.end();
  Calls calls(w.bytes());
  EXPECT_EQ(zipErrNone, calls.step(4096));
  EXPECT_EQ(5, calls.state().blockState);
  EXPECT_GE(calls.state().outPos, 4096u - 1024);
  EXPECT_LT(calls.state().outPos, 4096u - 1024 + 258);
  EXPECT_EQ(zipErrNone, calls.step(1u << 16));
  EXPECT_EQ(8, calls.state().blockState);
  EXPECT_EQ(1u + 40 * 258, calls.state().outPos);
}

TEST(InflateHeader, BlockType3Fails) {
  for (bool final : {false, true}) {
    BitWriter w;
    w.bits(final, 1);
    w.bits(3, 2);
    w.bits(0, 13);
    Calls calls(w.bytes());
    EXPECT_EQ(zipErrNotZipFile, calls.step());
    EXPECT_EQ(0u, calls.state().outPos);
  }
}

TEST(InflateHeader, BlocksAfterAFinalBlockAreDecoded) {
  Bytes stream = storedStream({text("one")});
  Bytes more = fixedLiterals(3);
  stream.insert(stream.end(), more.begin(), more.end());
  DriveResult r = driveWhole(stream, 1u << 16);
  ASSERT_TRUE(r.agreed) << r.mismatch;
  EXPECT_EQ(text("oneabc"), r.output);
}

// lengths: 'A' and the end of block, nothing else.
std::vector<uint8_t> twoSymbolLitLen(unsigned hlit) {
  std::vector<uint8_t> litLen(hlit, 0);
  litLen['A'] = 1;
  litLen[256] = 1;
  return litLen;
}

std::vector<CodeLengthSymbol> zeros(unsigned count) {
  std::vector<CodeLengthSymbol> runs;
  for (; count >= 11; count -= std::min(count, 138u)) {
    runs.push_back({18, static_cast<uint8_t>(std::min(count, 138u) - 11)});
  }
  for (; count > 0; --count) runs.push_back({0, 0});
  return runs;
}

// The literal/length lengths end in a run reaching 7 past HLIT; the distance
// lengths begin with their own code, a repeat of the previous length that
// repeats 0, then a 1.
TEST(InflateHeader, RepeatRunPastHlitIsCut) {
  const unsigned hlit = 260;
  std::vector<uint8_t> litLen = twoSymbolLitLen(hlit);
  std::vector<CodeLengthSymbol> litRuns = zeros('A');
  litRuns.push_back({1, 0});
  auto more = zeros(256 - 'A' - 1);
  litRuns.insert(litRuns.end(), more.begin(), more.end());
  litRuns.push_back({1, 0});
  litRuns.push_back({17, 7});  // 10 zeros where 3 remain
  std::vector<uint8_t> dist = {0, 0, 0, 1};
  std::vector<CodeLengthSymbol> distRuns = {{16, 0}, {1, 0}};
  BitWriter w;
  writeDynamicHeader(w, true, litLen, dist, litRuns, distRuns);
  HuffmanBlockWriter b(w, litLen, dist);
  b.literal('A');
  b.literal('A');
  b.end();
  DriveResult r = driveWhole(w.bytes(), 1u << 16);
  ASSERT_TRUE(r.agreed) << r.mismatch;
  EXPECT_EQ(zipErrNone, r.error);
  EXPECT_EQ(text("AA"), r.output);
}

TEST(InflateHeader, RepeatOfPreviousAsFirstLengthFails) {
  std::vector<uint8_t> litLen = twoSymbolLitLen(257);
  std::vector<CodeLengthSymbol> runs = {{16, 0}};
  auto rest = zeros(257 - 3);
  runs.insert(runs.end(), rest.begin(), rest.end());
  BitWriter w;
  writeDynamicHeader(w, true, litLen, {1}, runs, {{1, 0}});
  DriveResult r = driveWhole(w.bytes(), 1u << 16);
  ASSERT_TRUE(r.agreed) << r.mismatch;
  EXPECT_EQ(zipErrNotZipFile, r.error);
}

TEST(InflateHeader, OverSubscribedCodesFail) {
  std::mt19937 rng(3);
  std::vector<uint8_t> full = fixedLitLenLengths();
  std::vector<uint8_t> tooManyLit = full, tooManyDist(32, 5);
  tooManyLit[0] = 7;
  tooManyDist[0] = 4;
  for (const auto& [litLen, dist] :
       {std::pair{tooManyLit, fixedDistLengths()}, std::pair{full, tooManyDist}}) {
    BitWriter w;
    writeDynamicHeader(w, true, litLen, dist, rng);
    DriveResult r = driveWhole(w.bytes(), 1u << 16);
    ASSERT_TRUE(r.agreed) << r.mismatch;
    EXPECT_EQ(zipErrNotZipFile, r.error);
  }
  // Three code-length codes of length 1.
  BitWriter w;
  std::vector<uint8_t> codeLengthLengths(19, 0);
  codeLengthLengths[0] = codeLengthLengths[1] = codeLengthLengths[8] = 1;
  writeDynamicHeader(w, true, twoSymbolLitLen(257), {1}, {{0, 0}}, {{1, 0}}, codeLengthLengths);
  DriveResult r = driveWhole(w.bytes(), 1u << 16);
  ASSERT_TRUE(r.agreed) << r.mismatch;
  EXPECT_EQ(zipErrNotZipFile, r.error);
}

TEST(InflateHeader, LiteralOnlyBlockWithoutDistanceLengths) {
  std::mt19937 rng(11);
  std::vector<uint8_t> litLen = twoSymbolLitLen(257);
  BitWriter w;
  writeDynamicHeader(w, true, litLen, {0}, rng);
  HuffmanBlockWriter b(w, litLen, {0});
  for (int i = 0; i < 5; ++i) b.literal('A');
  b.end();
  DriveResult r = driveWhole(w.bytes(), 1u << 16);
  ASSERT_TRUE(r.agreed) << r.mismatch;
  EXPECT_EQ(zipErrNone, r.error);
  EXPECT_EQ(text("AAAAA"), r.output);
}

// 'A' is the only literal/length code ("0"); a 1 bit leads back to the
// root, so "10" is an 'A' too, and 18 one bits give up with 256, ending
// the block. The bits after it are the next block header.
TEST(InflateIncompleteCode, MissingBranchLeadsBackToTheRoot) {
  std::vector<uint8_t> litLen(257, 0);
  litLen['A'] = 1;
  std::mt19937 rng(5);
  BitWriter w;
  writeDynamicHeader(w, false, litLen, {1}, rng);
  w.bits(0, 1);         // A
  w.bits(0b01, 2);      // 1 then 0: A
  w.bits(0x3FFFF, 18);  // gives up: end of block
  Bytes tail = text("end");
  writeStoredBlock(w, true, tail.data(), 3);
  DriveResult r = driveWhole(w.bytes(), 1u << 16);
  ASSERT_TRUE(r.agreed) << r.mismatch;
  EXPECT_EQ(zipErrNone, r.error);
  EXPECT_EQ(text("AAend"), r.output);
}

TEST(InflateIncompleteCode, DistanceWalkThatGivesUpFails) {
  std::vector<uint8_t> litLen = twoSymbolLitLen(258);
  litLen[257] = 2;
  litLen[256] = 2;
  std::mt19937 rng(6);
  BitWriter w;
  writeDynamicHeader(w, true, litLen, {1}, rng);
  HuffmanBlockWriter b(w, litLen, {1});
  b.literal('A');
  b.symbol(257);
  w.bits(0x3FFFF, 18);
  DriveResult r = driveWhole(w.bytes(), 1u << 16);
  ASSERT_TRUE(r.agreed) << r.mismatch;
  EXPECT_EQ(zipErrNotZipFile, r.error);
  EXPECT_EQ(text("A"), r.output);
}

// Between calls only the unread rest of the last byte stays in bitBuffer;
// whole bytes go back to inPos.
TEST(InflateState, OnlyPartOfOneByteStaysInTheBitBuffer) {
  Bytes stream = fixedLiterals(200);
  Calls calls(stream);
  uint32_t limit = 10;
  do {
    ASSERT_EQ(zipErrNone, calls.step(limit += 7));
    EXPECT_LT(calls.state().bitCount, 8);
    EXPECT_LT(calls.state().bitBuffer, 1u << calls.state().bitCount);
  } while (calls.state().blockState != 8);
  EXPECT_EQ(200u, calls.state().outPos);
}

}  // namespace
}  // namespace extractor::testing
