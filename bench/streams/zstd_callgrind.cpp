// One decode of one corpus file's Zstandard stream, ours or libzstd's, for
// counting instructions under callgrind (repeatable on a busy machine):
//   valgrind --tool=callgrind --toggle-collect='*decodeOnce*'
//     zstd_callgrind [MiB] [text|binaries|include-tar|repetitive|random] [ours|lib|both] [times]
// (more times, for a sampling profiler; "both" takes turns and prints the
// fastest of each)
#include <zstd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "area_decoding.h"
#include "corpus.h"
#include "reference_codecs.h"
#include "zstd/zstd.h"

namespace {

using bench::kArea;

__attribute__((noinline)) bool decodeOnce(bool ours, const std::vector<uint8_t>& stream,
                                          size_t size, uint8_t* area) {
  if (ours) {
    static extractor::ZstdDecoder d;  // kept, as streams_bench keeps its window
    d.reset({size, 0});
    return bench::oursDecode(d, stream, area, size);
  }
  static ZSTD_DCtx* const dctx = ZSTD_createDCtx();
  return bench::libzstdDecode(dctx, stream, area, size);
}

}  // namespace

int main(int argc, char** argv) {
  const size_t mib = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 4;
  const std::string name = argc > 2 ? argv[2] : "text";
  const std::string who = argc > 3 ? argv[3] : "ours";
  const int times = argc > 4 ? std::atoi(argv[4]) : 1;
  std::vector<uint8_t> area(kArea);
  for (const CorpusFile& file : makeCorpus(mib << 20)) {
    if (file.name != name) continue;
    const auto stream = extractor::testing::zstdCompress(file.data, {3, true});
    const size_t size = file.data.size();
    if (who == "both") {
      // Taking turns, the fastest of each: lib time / our time.
      double best[2] = {1e30, 1e30};
      for (int i = 0; i < times; ++i) {
        for (int d = 0; d < 2; ++d) {
          const auto t0 = std::chrono::steady_clock::now();
          if (!decodeOnce(d == 0, stream, size, area.data())) return 1;
          const std::chrono::duration<double> t = std::chrono::steady_clock::now() - t0;
          best[d] = std::min(best[d], t.count());
        }
      }
      std::printf("%-12s ours %8.3f ms lib %8.3f ms  lib/ours %.3f\n", name.c_str(), best[0] * 1e3,
                  best[1] * 1e3, best[1] / best[0]);
      return 0;
    }
    size_t made = 0;
    for (int i = 0; i < times; ++i)
      made = decodeOnce(who == "ours", stream, size, area.data()) ? size : 0;
    std::printf("%s %s: %zu of %zu bytes\n", who.c_str(), name.c_str(), made, size);
    return made == size ? 0 : 1;
  }
  return 1;
}
