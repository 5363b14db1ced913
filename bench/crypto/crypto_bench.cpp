// Throughput of the CRC-32 against zlib and libdeflate, and of AES decryption
// of entry data, on buffers the size of the extractor's read chunks.

#include <libdeflate.h>
#include <zlib.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "crypto/aes_entry.h"
#include "crypto/aes_paths.h"
#include "crypto/crc32.h"
#include "crypto/crc32_paths.h"

namespace extractor {
namespace {

using Clock = std::chrono::steady_clock;

struct Candidate {
  std::string name;
  std::function<void()> call;
  double best = 0;  // MB/s
};

// The candidates take turns in short runs and each keeps its best rate, so
// that a burst of load from elsewhere on the machine does not skew the ratios.
void measure(std::vector<Candidate>& candidates, size_t bytesPerCall) {
  for (int turn = 0; turn < 10; turn++) {
    for (Candidate& c : candidates) {
      size_t calls = 0;
      auto start = Clock::now();
      std::chrono::duration<double> elapsed{};
      do {
        c.call();
        calls++;
        elapsed = Clock::now() - start;
      } while (elapsed.count() < 0.05);
      double rate = static_cast<double>(calls * bytesPerCall) / elapsed.count() / 1e6;
      if (rate > c.best) c.best = rate;
    }
  }
}

void print(const std::vector<Candidate>& candidates) {
  for (const Candidate& c : candidates) std::printf("  %-26s %9.0f MB/s\n", c.name.c_str(), c.best);
}

volatile uint32_t sink;

void benchCrc(const uint8_t* p, size_t n) {
  const auto n32 = static_cast<int32_t>(n);
  std::vector<Candidate> c = {
      {"zlib crc32", [&] { sink = static_cast<uint32_t>(crc32(0, p, static_cast<uInt>(n))); }},
      {"libdeflate_crc32", [&] { sink = libdeflate_crc32(0, p, n); }},
      {"crc32Update", [&] { sink = crc32Update(0, p, n32); }},
      {"  slice-by-8", [&] { sink = crc32Slice8(~0u, p, n); }},
      {"  bytewise reference", [&] { sink = crc32UpdateBytewise(0, p, n32); }},
  };
  if (crc32ClmulAvailable()) {
    c.push_back({"  PCLMULQDQ, 128-bit", [&] { sink = crc32Clmul(~0u, p, n); }});
  }
  if (crc32VpclmulAvailable()) {
    c.push_back({"  VPCLMULQDQ, 256-bit", [&] { sink = crc32Vpclmul(~0u, p, n); }});
  }
  measure(c, n);
  std::printf("CRC-32, %zu KiB buffer\n", n / 1024);
  print(c);
  std::printf("  ratio crc32Update / zlib        %6.2f\n", c[2].best / c[0].best);
  std::printf("  ratio crc32Update / libdeflate  %6.2f\n", c[2].best / c[1].best);
}

void benchAes(std::vector<uint8_t> data) {
  AesKey key;
  setupEntryAes(key, 4, "benchmark password");
  uint8_t* p = data.data();
  const size_t n = data.size();
  const size_t blocks = n / kAesBlockSize;
  std::vector<Candidate> c = {
      {"lookup tables", [&] { decryptBlocksTable(key, p, p, blocks); }},
      {"decryptAesChunk", [&] { decryptAesChunk(key, p, static_cast<uint32_t>(n)); }},
  };
  if (aesNiAvailable()) {
    c.push_back({"AES instructions", [&] { decryptBlocksAesNi(key, p, p, blocks); }});
  }
  measure(c, n);
  std::printf("AES decryption, kind 4 (14 rounds), %zu KiB chunk in place\n", n / 1024);
  print(c);
  if (!aesNiAvailable()) std::printf("  AES instructions: not available on this CPU\n");
}

}  // namespace
}  // namespace extractor

int main() {
  std::mt19937 engine(1);
  std::vector<uint8_t> data(1 << 20);
  for (auto& b : data) b = static_cast<uint8_t>(engine());
  extractor::benchCrc(data.data(), data.size());
  extractor::benchCrc(data.data(), 16384);
  extractor::benchAes(data);
  return 0;
}
