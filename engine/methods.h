// The compression methods the entry pipeline decodes, one row each. A
// method is its decoder's folder and its row here: the pipeline's dispatch,
// the known-method list and the packer's method numbers all read from this
// table or from zip_format.h.
#pragma once

#include <cstdint>
#include <memory>

#include "bzip2/bzip2.h"
#include "decode/stream_decoder.h"
#include "engine/zip_error.h"
#include "engine/zip_format.h"
#include "inflate/inflate.h"
#include "lzma/lzma.h"
#include "ppmd/ppmd.h"
#include "xz/xz.h"
#include "zstd/zstd.h"

namespace extractor {

enum class DecoderKind : uint8_t {
  kStored,   // the data are the bytes
  kInflate,  // inflateStep, reading back into the pipeline's history
  kStream,   // a StreamDecoder with a window of its own
};

struct MethodRow {
  uint16_t method;
  DecoderKind kind;
  // kInflate: the format, whose window the pipeline keeps as history in
  // front of the output area.
  InflateFormat inflateFormat;
  // kStream: makes the decoder; every entry of the method starts it with
  // reset(), which hands it the entry's uncompressed size and general
  // purpose flags.
  std::unique_ptr<StreamDecoder> (*makeDecoder)();
};

template <typename Decoder>
std::unique_ptr<StreamDecoder> makeStreamDecoder() {
  return std::make_unique<Decoder>();
}

inline constexpr MethodRow kMethods[] = {
    {kMethodStored, DecoderKind::kStored, InflateFormat::kDeflate, nullptr},
    {kMethodDeflated, DecoderKind::kInflate, InflateFormat::kDeflate, nullptr},
    {kMethodDeflate64, DecoderKind::kInflate, InflateFormat::kDeflate64, nullptr},
    {kMethodBzip2, DecoderKind::kStream, InflateFormat::kDeflate, makeStreamDecoder<Bzip2Decoder>},
    {kMethodLzma, DecoderKind::kStream, InflateFormat::kDeflate, makeStreamDecoder<LzmaDecoder>},
    {kMethodZstd, DecoderKind::kStream, InflateFormat::kDeflate, makeStreamDecoder<ZstdDecoder>},
    {kMethodXz, DecoderKind::kStream, InflateFormat::kDeflate, makeStreamDecoder<XzDecoder>},
    {kMethodPpmd, DecoderKind::kStream, InflateFormat::kDeflate, makeStreamDecoder<PpmdDecoder>},
};

// The method's row, or nullptr when the pipeline does not decode it.
const MethodRow* FindMethod(uint16_t method);

// Output bytes of the entry that the decoder reads back in front of its
// output area.
constexpr uint32_t HistoryOf(const MethodRow& row) {
  return row.kind == DecoderKind::kInflate ? windowSize(row.inflateFormat) : 0;
}

// The error that ends an entry whose decoder failed with status. The codes
// have no message of their own for a method's unsupported feature or for
// memory the data ask for in vain: both read as a file not compliant.
constexpr ZipError DecodeError(DecodeStatus) {
  return zipErrNotZipFile;
}

}  // namespace extractor
