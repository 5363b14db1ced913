// One decode of one corpus file's Zstandard stream, ours or libzstd's, for
// counting instructions under callgrind (repeatable on a busy machine):
//   valgrind --tool=callgrind --toggle-collect='*decodeOnce*'
//     zstd_callgrind [MiB] [text|binaries|include-tar|repetitive|random] [ours|lib] [times]
// (more times, for a sampling profiler; then the fastest one is printed)
#include <zstd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "corpus.h"
#include "reference_codecs.h"
#include "zstd/zstd.h"

namespace {

constexpr uint32_t kArea = 1 << 20;  // the pipeline's output area, as streams_bench

__attribute__((noinline)) size_t decodeOnce(bool ours, const std::vector<uint8_t>& stream,
                                            size_t size, uint8_t* area) {
  size_t total = 0;
  if (ours) {
    static extractor::ZstdDecoder d;  // kept, as streams_bench keeps its window
    d.reset({size, 0});
    uint32_t inPos = 0;
    for (;;) {
      uint32_t outPos = 0;
      if (extractor::decodeFailed(d.step(stream.data(), static_cast<uint32_t>(stream.size()), true,
                                         inPos, area, kArea, outPos))) {
        return 0;
      }
      total += outPos;
      if (outPos == 0) break;
    }
    return d.finished() ? total : 0;
  }
  static ZSTD_DCtx* const dctx = ZSTD_createDCtx();
  ZSTD_DCtx_reset(dctx, ZSTD_reset_session_only);
  ZSTD_inBuffer in{stream.data(), stream.size(), 0};
  size_t left = 1;
  while (left != 0) {
    ZSTD_outBuffer out{area, kArea, 0};
    left = ZSTD_decompressStream(dctx, &out, &in);
    if (ZSTD_isError(left) || (out.pos == 0 && in.pos == in.size && left != 0)) break;
    total += out.pos;
  }
  return left == 0 ? total : 0;
}

}  // namespace

int main(int argc, char** argv) {
  const size_t mib = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 4;
  const std::string name = argc > 2 ? argv[2] : "text";
  const bool ours = argc <= 3 || std::string(argv[3]) == "ours";
  const int times = argc > 4 ? std::atoi(argv[4]) : 1;
  std::vector<uint8_t> area(kArea);
  for (const CorpusFile& file : makeCorpus(mib << 20)) {
    if (file.name != name) continue;
    const auto stream = extractor::testing::zstdCompress(file.data, {3, true});
    size_t made = 0;
    double best = 1e30;
    for (int i = 0; i < times; ++i) {
      const auto t0 = std::chrono::steady_clock::now();
      made = decodeOnce(ours, stream, file.data.size(), area.data());
      best = std::min(best,
                      std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
    }
    if (times > 1) std::printf("fastest %.3f ms\n", best * 1e3);
    std::printf("%s %s: %zu of %zu bytes\n", ours ? "ours" : "lib", name.c_str(), made,
                file.data.size());
    return made == file.data.size() ? 0 : 1;
  }
  return 1;
}
