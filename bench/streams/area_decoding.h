// Decoding a whole stream held in memory into one reused output area, as the
// pipeline drives a decoder: ours and libzstd's, for the benchmarks.
#pragma once

#include <zstd.h>

#include <cstddef>
#include <cstdint>
#include <vector>

#include "decode/decode_status.h"

namespace bench {

constexpr uint32_t kArea = 1 << 20;  // the pipeline's output area

// A started decoder of ours; true when it made `size` bytes and ended.
template <typename Decoder>
bool oursDecode(Decoder& d, const std::vector<uint8_t>& stream, uint8_t* area, size_t size) {
  uint32_t inPos = 0;
  size_t total = 0;
  for (;;) {
    uint32_t outPos = 0;
    if (extractor::decodeFailed(d.step(stream.data(), static_cast<uint32_t>(stream.size()), true,
                                       inPos, area, kArea, outPos))) {
      return false;
    }
    total += outPos;
    if (outPos == 0) break;
  }
  return d.finished() && total == size;
}

inline bool libzstdDecode(ZSTD_DCtx* dctx, const std::vector<uint8_t>& stream, uint8_t* area,
                          size_t size) {
  ZSTD_DCtx_reset(dctx, ZSTD_reset_session_only);
  ZSTD_inBuffer in{stream.data(), stream.size(), 0};
  size_t total = 0, left = 1;
  while (left != 0) {
    ZSTD_outBuffer out{area, kArea, 0};
    left = ZSTD_decompressStream(dctx, &out, &in);
    if (ZSTD_isError(left) || (out.pos == 0 && in.pos == in.size && left != 0)) return false;
    total += out.pos;
  }
  return total == size;
}

}  // namespace bench
