// Decodes the same corpus with this decoder, zlib's inflate and
// libdeflate's decompressor, and prints MB/s of output for each. Then, when
// 7z is installed, this decoder on 7z's deflate and Deflate64 streams of
// the same data, beside libdeflate on the deflate ones.
//   inflate_bench [MiB per corpus file] [corpus file name]
// With a corpus file's name, a level and a decoder (ours, zlib, ldef), it
// decodes that stream once with that decoder alone, for counting
// instructions under callgrind:
//   inflate_bench MiB text 6 ours
#include <libdeflate.h>
#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>

#include "corpus.h"
#include "inflate/inflate.h"
#include "whole_stream_decoder.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes deflateRaw(const Bytes& data, int level) {
  z_stream z = {};
  deflateInit2(&z, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
  Bytes out(deflateBound(&z, static_cast<uLong>(data.size())));
  z.next_in = const_cast<Bytef*>(data.data());
  z.avail_in = static_cast<uInt>(data.size());
  z.next_out = out.data();
  z.avail_out = static_cast<uInt>(out.size());
  if (deflate(&z, Z_FINISH) != Z_STREAM_END) std::abort();
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

bool zlibDecode(z_stream& z, const Bytes& in, uint8_t* out, size_t size) {
  inflateReset(&z);
  z.next_in = const_cast<Bytef*>(in.data());
  z.avail_in = static_cast<uInt>(in.size());
  z.next_out = out;
  z.avail_out = static_cast<uInt>(size);
  return inflate(&z, Z_FINISH) == Z_STREAM_END && z.total_out == size;
}

bool libdeflateDecode(libdeflate_decompressor* ld, const Bytes& in, uint8_t* out, size_t size) {
  size_t actual = 0;
  return libdeflate_deflate_decompress(ld, in.data(), in.size(), out, size, &actual) ==
             LIBDEFLATE_SUCCESS &&
         actual == size;
}

// The raw data of the first entry of a ZIP that 7z writes of data with the
// method (Deflate or Deflate64) and level; empty when 7z is missing or
// stores the data.
Bytes sevenZipStream(const Bytes& data, const char* method, int level) {
  namespace fs = std::filesystem;
  const fs::path dir = fs::temp_directory_path() / "inflate-bench-7z";
  fs::create_directories(dir);
  const std::string file = (dir / "data").string(), zip = (dir / "data.zip").string();
  std::ofstream(file, std::ios::binary)
      .write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
  fs::remove(zip);
  const std::string command = "7z a -tzip -mm=" + std::string(method) +
                              " -mx=" + std::to_string(level) + " " + zip + " " + file +
                              " >/dev/null 2>&1";
  Bytes stream;
  if (std::system(command.c_str()) == 0) {
    std::ifstream in(zip, std::ios::binary);
    const Bytes z((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    auto at = [&](size_t i, unsigned n) {
      uint32_t v = 0;
      while (n-- > 0) v = v << 8 | z[i + n];
      return v;
    };
    if (z.size() >= 30 && at(8, 2) != 0) {
      const size_t start = 30 + at(26, 2) + at(28, 2);
      stream.assign(z.begin() + start, z.begin() + start + at(18, 4));
    }
  }
  fs::remove_all(dir);
  return stream;
}

// Best time of each decoder over repeated rounds. The decoders take turns
// within a round, so that a busy machine slows them alike.
void bestSeconds(const std::function<bool()> (&runs)[3], double budget, double (&best)[3]) {
  double spent = 0;
  for (double& b : best) b = 1e30;
  for (int round = 0; round < 3 || spent < budget; ++round) {
    for (int d = 0; d < 3; ++d) {
      const double t0 = cpuSeconds();
      if (!runs[d]()) {
        std::fprintf(stderr, "decode failed\n");
        std::exit(1);
      }
      const double s = cpuSeconds() - t0;
      best[d] = std::min(best[d], s);
      spent += s;
    }
  }
}

// This decoder on 7z's Deflate64 stream of each file, beside its deflate
// stream of the same file (and libdeflate on that one), in the same rounds.
bool compareDeflate64(const std::vector<CorpusFile>& corpus, const char* only,
                      libdeflate_decompressor* ld) {
  if (std::system("7z i >/dev/null 2>&1") != 0) {
    std::printf("\n7z is not installed: no Deflate64 figures\n");
    return true;
  }
  std::printf("\n7z's streams: this decoder on deflate and on Deflate64 of the same data\n");
  std::printf("%-12s %5s %9s %9s %10s %10s %10s %9s %9s\n", "corpus", "mx", "defl KiB", "d64 KiB",
              "ours MB/s", "d64 MB/s", "ldef MB/s", "ours/ldef", "d64/ours");
  double total[3] = {}, outBytes = 0;
  for (const CorpusFile& file : corpus) {
    if (only != nullptr && file.name != only) continue;
    for (int level : {1, 9}) {
      const Bytes deflate = sevenZipStream(file.data, "Deflate", level);
      const Bytes deflate64 = sevenZipStream(file.data, "Deflate64", level);
      if (deflate.empty() || deflate64.empty()) {
        std::printf("%-12s %5d   (stored by 7z)\n", file.name.c_str(), level);
        continue;
      }
      Bytes out(file.data.size());
      OurDecoder ours(out.size());
      OurDecoder ours64(out.size(), extractor::InflateFormat::kDeflate64);
      if (!ours.decode(deflate, &out) || out != file.data || !ours64.decode(deflate64, &out) ||
          out != file.data) {
        std::fprintf(stderr, "%s mx %d: wrong output\n", file.name.c_str(), level);
        return false;
      }
      uint8_t* const area = ours.output();
      std::function<bool()> runs[3] = {
          [&] { return ours.decode(deflate, nullptr); },
          [&] { return ours64.decode(deflate64, nullptr); },
          [&] { return libdeflateDecode(ld, deflate, area, out.size()); }};
      double seconds[3];
      bestSeconds(runs, 0.75, seconds);
      for (int d = 0; d < 3; ++d) total[d] += seconds[d];
      outBytes += out.size();
      const double mb = out.size() / 1e6;
      std::printf("%-12s %5d %9zu %9zu %10.0f %10.0f %10.0f %9.2f %9.2f\n", file.name.c_str(),
                  level, deflate.size() >> 10, deflate64.size() >> 10, mb / seconds[0],
                  mb / seconds[1], mb / seconds[2], seconds[2] / seconds[0],
                  seconds[0] / seconds[1]);
    }
  }
  const double mb = outBytes / 1e6;
  if (outBytes > 0) {
    std::printf("%-12s %5s %9s %9s %10.0f %10.0f %10.0f %9.2f %9.2f\n", "all", "", "", "",
                mb / total[0], mb / total[1], mb / total[2], total[2] / total[0],
                total[0] / total[1]);
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  const size_t mib = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 8;
  extractor::buildInflateTables();
  std::vector<CorpusFile> corpus = makeCorpus(mib << 20);

  z_stream z = {};
  inflateInit2(&z, -15);
  libdeflate_decompressor* ld = libdeflate_alloc_decompressor();

  if (argc > 4) {
    const std::string decoder = argv[4];
    const int d = decoder == "ours" ? 0 : decoder == "zlib" ? 1 : 2;
    for (const CorpusFile& file : corpus) {
      if (file.name != argv[2]) continue;
      Bytes stream = deflateRaw(file.data, std::atoi(argv[3]));
      Bytes out(file.data.size());
      OurDecoder ours(out.size());
      bool ok = d == 0   ? ours.decode(stream, &out)
                : d == 1 ? zlibDecode(z, stream, out.data(), out.size())
                         : libdeflateDecode(ld, stream, out.data(), out.size());
      return ok && out == file.data ? 0 : 1;
    }
    return 2;
  }

  double total[3] = {}, byLevel[10][3] = {};
  double outBytes = 0, outByLevel[10] = {};
  std::printf("%-12s %5s %9s %9s %10s %10s %10s %9s %9s\n", "corpus", "level", "in KiB", "out KiB",
              "ours MB/s", "zlib MB/s", "ldef MB/s", "ours/zlib", "ours/ldef");
  for (const CorpusFile& file : corpus) {
    if (argc == 3 && file.name != argv[2]) continue;
    for (int level : {1, 6, 9}) {
      Bytes stream = deflateRaw(file.data, level);
      Bytes out(file.data.size());
      OurDecoder ours(out.size());
      std::function<bool()> runs[3] = {
          [&] { return ours.decode(stream, &out); },
          [&] { return zlibDecode(z, stream, out.data(), out.size()); },
          [&] { return libdeflateDecode(ld, stream, out.data(), out.size()); }};
      // The first run of each checks the output; the timed runs follow.
      for (auto& run : runs) {
        std::fill(out.begin(), out.end(), 0);
        if (!run() || out != file.data) {
          std::fprintf(stderr, "%s level %d: wrong output\n", file.name.c_str(), level);
          return 1;
        }
      }
      // Timed, all three write the same memory, where ours leaves its
      // output: a decoder writing where the one before it just wrote finds
      // those lines in the cache, which a buffer of its own would not.
      uint8_t* const area = ours.output();
      runs[0] = [&] { return ours.decode(stream, nullptr); };
      runs[1] = [&] { return zlibDecode(z, stream, area, out.size()); };
      runs[2] = [&] { return libdeflateDecode(ld, stream, area, out.size()); };
      double seconds[3];
      bestSeconds(runs, 0.75, seconds);
      for (int d = 0; d < 3; ++d) {
        total[d] += seconds[d];
        byLevel[level][d] += seconds[d];
      }
      outBytes += out.size();
      outByLevel[level] += out.size();
      const double mb = out.size() / 1e6;
      std::printf("%-12s %5d %9zu %9zu %10.0f %10.0f %10.0f %9.2f %9.2f\n", file.name.c_str(),
                  level, stream.size() >> 10, out.size() >> 10, mb / seconds[0], mb / seconds[1],
                  mb / seconds[2], seconds[1] / seconds[0], seconds[2] / seconds[0]);
    }
  }
  for (int level : {1, 6, 9}) {
    const double mb = outByLevel[level] / 1e6;
    std::printf("%-12s %5d %9s %9.0f %10.0f %10.0f %10.0f %9.2f %9.2f\n", "all", level, "",
                outByLevel[level] / 1024, mb / byLevel[level][0], mb / byLevel[level][1],
                mb / byLevel[level][2], byLevel[level][1] / byLevel[level][0],
                byLevel[level][2] / byLevel[level][0]);
  }
  const double mb = outBytes / 1e6;
  std::printf("%-12s %5s %9s %9.0f %10.0f %10.0f %10.0f %9.2f %9.2f\n", "all", "all", "",
              outBytes / 1024, mb / total[0], mb / total[1], mb / total[2], total[1] / total[0],
              total[2] / total[0]);
  if (!compareDeflate64(corpus, argc == 3 ? argv[2] : nullptr, ld)) return 1;
  libdeflate_free_decompressor(ld);
  inflateEnd(&z);
  return 0;
}
