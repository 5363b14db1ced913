// Decodes the same bzip2, LZMA, xz and Zstandard streams with our decoders
// and with libbz2, liblzma and libzstd (single-threaded, streaming into the
// same output areas), taking turns, and prints MB/s of output and the
// ratios; then times `7z x` of a ZIP archive holding the same data, for
// reference (not for Zstandard). PPMd has no library: its baseline is `7z x`
// of the archive whose entry we decode (the whole process, processor time).
//   streams_bench [MiB per corpus file] [bzip2|lzma|xz|zstd|ppmd] [corpus file name]
#include <bzlib.h>
#include <lzma.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zstd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <string>

#include "area_decoding.h"
#include "bzip2/bzip2.h"
#include "corpus.h"
#include "lzma/lzma.h"
#include "ppmd/ppmd.h"
#include "reference_codecs.h"
#include "stream_driver.h"
#include "whole_stream_decoder.h"
#include "xz/xz.h"
#include "zstd/zstd.h"

namespace {

using bench::kArea;
using bench::libzstdDecode;
using bench::oursDecode;
using extractor::testing::Bytes;
bool libbz2Decode(const Bytes& stream, uint8_t* area, size_t size) {
  bz_stream s = {};
  BZ2_bzDecompressInit(&s, 0, 0);
  s.next_in = const_cast<char*>(reinterpret_cast<const char*>(stream.data()));
  s.avail_in = static_cast<unsigned>(stream.size());
  int r = BZ_OK;
  size_t total = 0;
  while (r == BZ_OK) {
    s.next_out = reinterpret_cast<char*>(area);
    s.avail_out = kArea;
    r = BZ2_bzDecompress(&s);
    total += kArea - s.avail_out;
  }
  BZ2_bzDecompressEnd(&s);
  return r == BZ_STREAM_END && total == size;
}

// A started liblzma decoder run over the input into the output areas, as
// ours is; true when it made `size` bytes and ended. Ends the decoder.
bool liblzmaDrain(lzma_stream& s, const uint8_t* in, size_t inSize, uint8_t* area, size_t size) {
  s.next_in = in;
  s.avail_in = inSize;
  lzma_ret r = LZMA_OK;
  size_t total = 0;
  while (r == LZMA_OK) {
    s.next_out = area;
    s.avail_out = kArea;
    r = lzma_code(&s, LZMA_FINISH);
    total += kArea - s.avail_out;
  }
  lzma_end(&s);
  return r == LZMA_STREAM_END && total == size;
}

bool liblzmaDecode(const Bytes& stream, uint8_t* area, size_t size) {
  lzma_filter filters[2] = {{LZMA_FILTER_LZMA1, nullptr}, {LZMA_VLI_UNKNOWN, nullptr}};
  if (lzma_properties_decode(filters, nullptr, stream.data() + 4, 5) != LZMA_OK) return false;
  lzma_stream s = LZMA_STREAM_INIT;
  const lzma_ret started = lzma_raw_decoder(&s, filters);
  free(filters[0].options);
  if (started != LZMA_OK) return false;
  return liblzmaDrain(s, stream.data() + 9, stream.size() - 9, area, size);
}

// The .xz stream as a whole, concatenated streams allowed as for ours.
bool liblzmaXzDecode(const Bytes& stream, uint8_t* area, size_t size) {
  lzma_stream s = LZMA_STREAM_INIT;
  if (lzma_stream_decoder(&s, UINT64_MAX, LZMA_CONCATENATED) != LZMA_OK) return false;
  return liblzmaDrain(s, stream.data(), stream.size(), area, size);
}

// CPU seconds of a child command (user and system).
double commandSeconds(const std::string& command) {
  rusage before, after;
  getrusage(RUSAGE_CHILDREN, &before);
  if (std::system(command.c_str()) != 0) return -1;
  getrusage(RUSAGE_CHILDREN, &after);
  auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec * 1e-6; };
  return seconds(after.ru_utime) - seconds(before.ru_utime) + seconds(after.ru_stime) -
         seconds(before.ru_stime);
}

// 7z's PPMd settings at its default level.
constexpr extractor::testing::PpmdOptions kPpmdOptions{8, 16, 0};
const char* const kPpmdMethod = "PPMd:o=8:mem=16m:a=0";

double sevenZipSeconds(const Bytes& data, const char* method) {
  // Of this process only: other benchmarks may run beside it.
  const std::string dir = "/tmp/streams-bench-7z-" + std::to_string(getpid());
  std::system(("rm -rf " + dir + " && mkdir -p " + dir).c_str());
  std::ofstream(dir + "/data.bin", std::ios::binary)
      .write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
  if (commandSeconds("cd " + dir + " && 7z a -bd -tzip -mmt=1 -m0=" + method +
                     " data.zip data.bin >/dev/null") < 0) {
    return -1;
  }
  double best = 1e30;
  for (int i = 0; i < 3; ++i) {
    best = std::min(best, commandSeconds("7z x -bd -mmt=1 -so " + dir + "/data.zip >/dev/null"));
  }
  std::system(("rm -rf " + dir).c_str());
  return best;
}

}  // namespace

int main(int argc, char** argv) {
  const size_t mib = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 8;
  const std::string only = argc > 2 ? argv[2] : "";
  std::vector<CorpusFile> corpus = makeCorpus(mib << 20);
  std::vector<uint8_t> area(kArea);
  extractor::Bzip2Decoder bzip2;
  extractor::LzmaDecoder lzma;
  extractor::XzDecoder xz;
  extractor::ZstdDecoder zstd;
  extractor::PpmdDecoder ppmd;
  ZSTD_DCtx* dctx = ZSTD_createDCtx();

  std::printf("%-6s %-12s %9s %9s %10s %10s %7s %10s\n", "method", "corpus", "in KiB", "out KiB",
              "ours MB/s", "lib MB/s", "ours/lib", "7z x MB/s");
  for (const std::string method : {"bzip2", "lzma", "xz", "zstd", "ppmd"}) {
    if (!only.empty() && only != method) continue;
    const bool isPpmd = method == "ppmd";
    double oursTotal = 0, libTotal = 0, bytesTotal = 0;
    for (const CorpusFile& file : corpus) {
      if (argc > 3 && file.name != argv[3]) continue;
      const Bytes stream =
          method == "bzip2"  ? extractor::testing::bzip2Compress(file.data, 9)
          : method == "lzma" ? extractor::testing::lzmaCompress(file.data, {6, true})
          : method == "xz"   ? extractor::testing::xzCompress(file.data, {6})
          : method == "zstd"
              ? extractor::testing::zstdCompress(file.data, {3, true})
              : extractor::testing::ppmdCompress(file.data, kPpmdOptions).value_or(Bytes{});
      const size_t size = file.data.size();
      if (isPpmd && stream.empty()) continue;  // 7z stored the data
      auto ours = [&] {
        if (method == "bzip2") {
          bzip2.reset({});
          return oursDecode(bzip2, stream, area.data(), size);
        }
        if (method == "lzma") {
          lzma.reset({size, extractor::kLzmaEndMarkerFlag});
          return oursDecode(lzma, stream, area.data(), size);
        }
        if (method == "xz") {
          xz.reset({size, 0});
          return oursDecode(xz, stream, area.data(), size);
        }
        if (method == "zstd") {
          zstd.reset({size, 0});
          return oursDecode(zstd, stream, area.data(), size);
        }
        ppmd.reset({size, 0});
        return oursDecode(ppmd, stream, area.data(), size);
      };
      auto lib = [&] {
        return method == "bzip2"  ? libbz2Decode(stream, area.data(), size)
               : method == "lzma" ? liblzmaDecode(stream, area.data(), size)
               : method == "xz"   ? liblzmaXzDecode(stream, area.data(), size)
                                  : libzstdDecode(dctx, stream, area.data(), size);
      };
      const double sevenZip = method == "zstd"
                                  ? -1
                                  : sevenZipSeconds(file.data, method == "bzip2"  ? "BZip2"
                                                               : method == "lzma" ? "LZMA"
                                                               : method == "xz"   ? "XZ"
                                                                                  : kPpmdMethod);
      double best[2] = {1e30, isPpmd ? sevenZip : 1e30}, spent = 0;
      for (int round = 0; round < 3 || spent < 1.5; ++round) {
        int d = 0;
        for (const std::function<bool()>& run :
             {std::function<bool()>(ours), std::function<bool()>(lib)}) {
          if (isPpmd && d == 1) break;  // 7z x was timed already
          const double t0 = cpuSeconds();
          if (!run()) {
            std::fprintf(stderr, "%s %s: decode failed\n", method.c_str(), file.name.c_str());
            return 1;
          }
          const double s = cpuSeconds() - t0;
          best[d] = std::min(best[d], s);
          spent += s;
          d++;
        }
      }
      const double mb = size / 1e6;
      oursTotal += best[0];
      libTotal += best[1];
      bytesTotal += size;
      std::printf("%-6s %-12s %9zu %9zu %10.1f %10.1f %7.2f %10.1f\n", method.c_str(),
                  file.name.c_str(), stream.size() >> 10, size >> 10, mb / best[0], mb / best[1],
                  best[1] / best[0], sevenZip > 0 ? mb / sevenZip : 0.0);
    }
    const double mb = bytesTotal / 1e6;
    std::printf("%-6s %-12s %9s %9.0f %10.1f %10.1f %7.2f\n", method.c_str(), "all", "",
                bytesTotal / 1024, mb / oursTotal, mb / libTotal, libTotal / oursTotal);
  }
  ZSTD_freeDCtx(dctx);
  return 0;
}
