// What every stream decoder reports, whatever its format: kOutputFull when
// the output area stops it, kMoreInput when the input might run short,
// kDone at the end of valid data, kDamaged for data cut short. The pipeline
// relies on these; a decoder joins with one row in kDecoders.
#include <gtest/gtest.h>

#include <memory>

#include "bzip2/bzip2.h"
#include "lzma/lzma.h"
#include "reference_codecs.h"

namespace extractor::testing {
namespace {

struct Encoded {
  Bytes stream;
  StreamStart start;
};

struct DecoderCase {
  const char* name;
  std::unique_ptr<StreamDecoder> (*make)();
  Encoded (*encode)(const Bytes& data);
};

template <typename Decoder>
std::unique_ptr<StreamDecoder> make() {
  return std::make_unique<Decoder>();
}

const DecoderCase kDecoders[] = {
    {"bzip2", make<Bzip2Decoder>,
     [](const Bytes& data) {
       return Encoded{bzip2Compress(data, 1), {}};
     }},
    {"LZMA", make<LzmaDecoder>,
     [](const Bytes& data) {
       return Encoded{lzmaCompress(data, {6, true}), {data.size(), kLzmaEndMarkerFlag}};
     }},
    {"LZMA without end marker", make<LzmaDecoder>,
     [](const Bytes& data) {
       return Encoded{lzmaCompress(data, {6, false}), {data.size(), 0}};
     }},
};

struct Step {
  DecodeStatus status;
  uint32_t inPos = 0;
  uint32_t outPos = 0;
};

Step step(StreamDecoder& decoder, const Bytes& input, size_t count, bool complete, uint8_t* out,
          uint32_t room) {
  Step s{};
  s.status = decoder.step(input.data(), static_cast<uint32_t>(count), complete, s.inPos, out, room,
                          s.outPos);
  return s;
}

TEST(StreamStatus, EveryDecoderReportsWhatStoppedIt) {
  const Bytes data = textBytes(100000, 3);
  std::vector<uint8_t> area(data.size() + 1);
  for (const DecoderCase& c : kDecoders) {
    SCOPED_TRACE(c.name);
    const Encoded e = c.encode(data);
    std::unique_ptr<StreamDecoder> decoder = c.make();

    // Room for everything: the data end, and the decoder says so.
    decoder->reset(e.start);
    Step whole = step(*decoder, e.stream, e.stream.size(), true, area.data(),
                      static_cast<uint32_t>(area.size()));
    EXPECT_EQ(whole.status, DecodeStatus::kDone);
    EXPECT_EQ(whole.outPos, data.size());
    EXPECT_TRUE(decoder->finished());
    EXPECT_FALSE(decoder->hasOutput());

    // A small output area stops it with output still due.
    decoder->reset(e.start);
    Step small = step(*decoder, e.stream, e.stream.size(), true, area.data(), 100);
    EXPECT_EQ(small.status, DecodeStatus::kOutputFull);
    EXPECT_EQ(small.outPos, 100u);
    EXPECT_FALSE(decoder->finished());

    // Half the input, more to come: it waits without failing.
    decoder->reset(e.start);
    const size_t half = e.stream.size() / 2;
    Step waiting =
        step(*decoder, e.stream, half, false, area.data(), static_cast<uint32_t>(area.size()));
    EXPECT_EQ(waiting.status, DecodeStatus::kMoreInput);
    EXPECT_FALSE(decoder->finished());

    // Half the input and no more: the data are cut.
    decoder->reset(e.start);
    DecodeStatus cut = DecodeStatus::kMoreInput;
    uint32_t inPos = 0;
    for (int calls = 0; calls < 10 && !decodeFailed(cut); ++calls) {
      uint32_t outPos = 0;
      cut = decoder->step(e.stream.data(), static_cast<uint32_t>(half), true, inPos, area.data(),
                          static_cast<uint32_t>(area.size()), outPos);
    }
    EXPECT_EQ(cut, DecodeStatus::kDamaged);
    EXPECT_FALSE(decoder->finished());
  }
}

}  // namespace
}  // namespace extractor::testing
