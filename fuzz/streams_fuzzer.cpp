// Every stream decoder of the pipeline in one target. The first byte names
// the method (its ZIP method number; any other value picks a row by its
// remainder), then a control byte (bit 7: all input at once; the others are
// the entry's general purpose flags), the input step, the output area and
// the entry's size as 32-bit words, then the stream. Each decoder is driven as the pipeline
// drives it and checked against its reference library.
//
// A decoder joins with one row in kRows.
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "bzip2/bzip2.h"
#include "engine/zip_format.h"
#include "fuzz_input.h"
#include "lzma/lzma.h"
#include "ppmd/ppmd.h"
#include "reference_codecs.h"
#include "stream_driver.h"
#include "xz/xz.h"
#include "zstd/zstd.h"

using namespace extractor;
using extractor::testing::Bytes;

namespace {

// How strictly a decoder must agree with its reference.
enum class Agreement {
  kBoth,            // both read a stream or both refuse it, and read the same
  kReferenceReads,  // what the reference reads, ours reads the same; ours may read more
  kBothRead         // what both read, they read the same; either may refuse more
};

struct Row {
  uint16_t method;
  const char* name;
  std::unique_ptr<StreamDecoder> (*make)();
  // The reference's reading of the stream; nothing when it refuses.
  std::optional<Bytes> (*reference)(const Bytes& stream, const StreamStart& start);
  Agreement agreement;
};

template <typename Decoder>
std::unique_ptr<StreamDecoder> make() {
  return std::make_unique<Decoder>();
}

std::optional<Bytes> libbz2(const Bytes& stream, const StreamStart&) {
  return testing::bzip2Reference(stream);
}

// liblzma refuses some streams ours reads: nonzero range coder bytes at
// the end, an end marker the flag does not announce.
std::optional<Bytes> liblzma(const Bytes& stream, const StreamStart& start) {
  return testing::lzmaReference(stream, static_cast<uint32_t>(start.uncompressedSize),
                                (start.flags & kLzmaEndMarkerFlag) != 0);
}

// liblzma reads some streams ours refuses: checks ours does not know,
// dictionaries larger than the entry.
std::optional<Bytes> liblzmaXz(const Bytes& stream, const StreamStart&) {
  return testing::xzReference(stream);
}

// libzstd reads frames that need a dictionary ours refuses, and histories
// larger than the entry.
std::optional<Bytes> libzstd(const Bytes& stream, const StreamStart& start) {
  return testing::zstdReference(stream, start.uncompressedSize);
}

const Row kRows[] = {
    {kMethodBzip2, "bzip2", make<Bzip2Decoder>, libbz2, Agreement::kBoth},
    {kMethodLzma, "LZMA", make<LzmaDecoder>, liblzma, Agreement::kReferenceReads},
    {kMethodZstd, "Zstandard", make<ZstdDecoder>, libzstd, Agreement::kBothRead},
    {kMethodXz, "xz", make<XzDecoder>, liblzmaXz, Agreement::kBothRead},
    {kMethodPpmd, "PPMd", make<PpmdDecoder>, nullptr, Agreement::kBothRead},
};
constexpr size_t kRowCount = sizeof kRows / sizeof kRows[0];

const Row& pickRow(uint8_t byte) {
  for (const Row& row : kRows) {
    if (row.method == byte) return row;
  }
  return kRows[byte % kRowCount];
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::FuzzInput input(data, size);
  const Row& row = pickRow(input.byte());
  const uint8_t control = input.byte();
  const uint32_t step = input.word();
  const size_t inputStep = control & 0x80 ? 0 : 1 + step % 5000;
  const uint32_t outputArea = 1 + input.word() % 200000;
  StreamStart start;
  start.flags = control & 0x7F;
  start.uncompressedSize = input.word() % (1u << 20);
  const Bytes stream(input.rest(), input.rest() + input.restSize());

  // One decoder per row for the whole run, as the pipeline keeps them.
  static std::unique_ptr<StreamDecoder> decoders[kRowCount];
  std::unique_ptr<StreamDecoder>& decoder = decoders[&row - kRows];
  if (!decoder) decoder = row.make();
  decoder->reset(start);
  testing::Decoded got = testing::drive(*decoder, stream, inputStep, outputArea);
  if (!row.reference) return 0;
  std::optional<Bytes> want = row.reference(stream, start);
  bool agree = !want || !got.ok() || got.output == *want;
  if (row.agreement == Agreement::kBoth) agree = agree && got.ok() == want.has_value();
  if (row.agreement == Agreement::kReferenceReads) agree = agree && (!want || got.ok());
  if (!agree) {
    std::fprintf(stderr, "%s: ours %s (status %d, %zu bytes), reference %s (%zu bytes)\n", row.name,
                 got.ok() ? "read" : "refused", got.status, got.output.size(),
                 want ? "read" : "refused", want ? want->size() : size_t{0});
    std::abort();
  }
  return 0;
}
