// Our LZMA decoder, driven with an entry size, end-marker flag, input steps
// and output areas taken from the input, against liblzma: a stream liblzma
// reads, ours reads the same. (liblzma refuses some streams ours reads:
// nonzero range coder bytes at the end, an end marker the flag does not
// announce.)
#include <cstdio>
#include <cstdlib>

#include "fuzz_input.h"
#include "lzma/lzma.h"
#include "reference_codecs.h"
#include "stream_driver.h"

using namespace extractor;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::FuzzInput input(data, size);
  const uint8_t control = input.byte();
  const bool endMarker = control & 1;
  const size_t inputStep = control & 2 ? 0 : 1 + input.word() % 5000;
  const uint32_t outputArea = 1 + input.word() % 200000;
  const uint32_t entrySize = input.word() % (1u << 20);
  const testing::Bytes stream(input.rest(), input.rest() + input.restSize());

  static LzmaDecoder decoder;
  decoder.reset(StreamStart{entrySize, static_cast<uint16_t>(endMarker ? 2 : 0)});
  testing::Decoded got = testing::drive(decoder, stream, inputStep, outputArea);
  std::optional<testing::Bytes> want = testing::lzmaReference(stream, entrySize, endMarker);
  if (want && (!got.ok() || got.output != *want)) {
    std::fprintf(stderr, "ours %s (error %d, %zu bytes), liblzma read %zu bytes\n",
                 got.ok() ? "read" : "refused", got.status, got.output.size(), want->size());
    std::abort();
  }
  return 0;
}
