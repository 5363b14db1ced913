// Our bzip2 decoder, driven with input steps and output areas taken from
// the input, against libbz2: both read a stream or both refuse it, and
// what they read is the same.
#include <cstdio>
#include <cstdlib>

#include "bzip2/bzip2.h"
#include "fuzz_input.h"
#include "reference_codecs.h"
#include "stream_driver.h"

using namespace extractor;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::FuzzInput input(data, size);
  const size_t inputStep = input.byte() % 4 == 0 ? 0 : 1 + input.word() % 5000;
  const uint32_t outputArea = 1 + input.word() % 200000;
  const testing::Bytes stream(input.rest(), input.rest() + input.restSize());

  static Bzip2Decoder decoder;
  decoder.reset();
  testing::Decoded got = testing::drive(decoder, stream, inputStep, outputArea);
  std::optional<testing::Bytes> want = testing::bzip2Reference(stream);
  if (got.ok() != want.has_value() || (want && got.output != *want)) {
    std::fprintf(stderr, "ours %s (error %d, %zu bytes), libbz2 %s\n",
                 got.ok() ? "read" : "refused", got.status, got.output.size(),
                 want ? "read" : "refused");
    std::abort();
  }
  return 0;
}
