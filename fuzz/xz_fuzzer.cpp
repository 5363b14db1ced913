// Our xz decoder, driven with an entry size, input steps and output areas
// taken from the input, against liblzma: a stream both read, they read the
// same. (liblzma reads some streams ours refuses: checks ours does not
// know, dictionaries larger than the entry.)
#include <cstdio>
#include <cstdlib>

#include "fuzz_input.h"
#include "reference_codecs.h"
#include "stream_driver.h"
#include "xz/xz.h"

using namespace extractor;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::FuzzInput input(data, size);
  const uint8_t control = input.byte();
  const size_t inputStep = control & 2 ? 0 : 1 + input.word() % 5000;
  const uint32_t outputArea = 1 + input.word() % 200000;
  const uint32_t entrySize = input.word() % (1u << 20);
  const testing::Bytes stream(input.rest(), input.rest() + input.restSize());

  static XzDecoder decoder;
  decoder.reset(StreamStart{entrySize, 0});
  testing::Decoded got = testing::drive(decoder, stream, inputStep, outputArea);
  if (!got.ok()) return 0;
  std::optional<testing::Bytes> want = testing::xzReference(stream);
  if (want && got.output != *want) {
    std::fprintf(stderr, "ours read %zu bytes, liblzma %zu, differently\n", got.output.size(),
                 want->size());
    std::abort();
  }
  return 0;
}
