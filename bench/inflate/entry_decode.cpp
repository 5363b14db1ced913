// Decodes the first entry of a ZIP file (deflated, sizes in its local
// header) with this project's decoder, all of it buffered and nothing
// written, and prints the least processor seconds of `rounds` decodes:
//   entry_decode ARCHIVE [rounds]
// It needs no other decoder, so the Windows build runs it under Wine beside
// the native one on the same data.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "engine/little_endian.h"
#include "inflate/inflate.h"
#include "whole_stream_decoder.h"

namespace {

using Bytes = std::vector<uint8_t>;

bool readFile(const char* path, Bytes& data) {
  std::FILE* f = std::fopen(path, "rb");
  if (f == nullptr) return false;
  uint8_t chunk[1 << 16];
  for (size_t n; (n = std::fread(chunk, 1, sizeof chunk, f)) > 0;)
    data.insert(data.end(), chunk, chunk + n);
  std::fclose(f);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 1;
  Bytes zip;
  if (!readFile(argv[1], zip) || zip.size() < 30) return 2;
  const uint8_t* header = zip.data();
  if (extractor::load32(header) != 0x04034b50 || extractor::load16(header + 8) != 8) {
    return 2;
  }
  const size_t start = 30 + size_t{extractor::load16(header + 26)} + extractor::load16(header + 28);
  const uint32_t packed = extractor::load32(header + 18);
  const uint32_t size = extractor::load32(header + 22);
  if (start + packed > zip.size()) return 2;
  const Bytes stream(zip.begin() + start, zip.begin() + start + packed);

  extractor::buildInflateTables();
  OurDecoder decoder(size);
  double best = 1e30;
  for (int r = 0; r < rounds; ++r) {
    const double t0 = cpuSeconds();
    if (!decoder.decode(stream, nullptr) || decoder.produced() != size) return 1;
    best = std::min(best, cpuSeconds() - t0);
  }
  std::printf("%.4f\n", best);
  return 0;
}
