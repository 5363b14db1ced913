// Throughput of the CRC-32 against zlib and libdeflate, and of AES decryption
// of entry data, on buffers the size of the extractor's read chunks.

#include <libdeflate.h>
#include <zlib.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <random>
#include <vector>

#include "crypto/aes_entry.h"
#include "crypto/aes_paths.h"
#include "crypto/crc32.h"
#include "crypto/crc32_paths.h"

namespace extractor {
namespace {

using Clock = std::chrono::steady_clock;

// The best of several timed runs of at least 0.2 s each, in MB/s.
double measure(size_t bytesPerCall, const std::function<void()>& call) {
  double best = 0;
  for (int run = 0; run < 5; run++) {
    size_t calls = 0;
    auto start = Clock::now();
    std::chrono::duration<double> elapsed{};
    do {
      call();
      calls++;
      elapsed = Clock::now() - start;
    } while (elapsed.count() < 0.2);
    double rate = static_cast<double>(calls * bytesPerCall) / elapsed.count() / 1e6;
    if (rate > best) best = rate;
  }
  return best;
}

volatile uint32_t sink;

void benchCrc(const std::vector<uint8_t>& data) {
  const uint8_t* p = data.data();
  const size_t n = data.size();
  const auto n32 = static_cast<int32_t>(n);
  double zlib =
      measure(n, [&] { sink = static_cast<uint32_t>(crc32(0, p, static_cast<uInt>(n))); });
  double deflate = measure(n, [&] { sink = libdeflate_crc32(0, p, n); });
  double ours = measure(n, [&] { sink = crc32Update(0, p, n32); });
  double clmul = crc32ClmulAvailable() ? measure(n, [&] { sink = crc32Clmul(~0u, p, n); }) : 0;
  double wide = crc32VpclmulAvailable() ? measure(n, [&] { sink = crc32Vpclmul(~0u, p, n); }) : 0;
  double slice8 = measure(n, [&] { sink = crc32Slice8(~0u, p, n); });
  double bytewise = measure(n, [&] { sink = crc32UpdateBytewise(0, p, n32); });

  std::printf("CRC-32, %zu KiB buffer\n", n / 1024);
  std::printf("  %-28s %9.0f MB/s\n", "zlib crc32", zlib);
  std::printf("  %-28s %9.0f MB/s\n", "libdeflate_crc32", deflate);
  std::printf("  %-28s %9.0f MB/s\n", "crc32Update", ours);
  std::printf("  %-28s %9.0f MB/s\n", "  PCLMULQDQ, 128-bit", clmul);
  std::printf("  %-28s %9.0f MB/s\n", "  VPCLMULQDQ, 256-bit", wide);
  std::printf("  %-28s %9.0f MB/s\n", "slice-by-8", slice8);
  std::printf("  %-28s %9.0f MB/s\n", "bytewise reference", bytewise);
  std::printf("  ratio crc32Update / zlib        %6.2f\n", ours / zlib);
  std::printf("  ratio crc32Update / libdeflate  %6.2f\n", ours / deflate);
}

void benchAes(std::vector<uint8_t> data) {
  AesKey key;
  setupEntryAes(key, 4, "benchmark password");
  const size_t n = data.size();
  const size_t blocks = n / kAesBlockSize;
  std::printf("AES decryption, kind 4 (14 rounds), %zu KiB chunk in place\n", n / 1024);
  double table = measure(n, [&] { decryptBlocksTable(key, data.data(), data.data(), blocks); });
  std::printf("  %-28s %9.0f MB/s\n", "lookup tables", table);
  if (aesNiAvailable()) {
    double ni = measure(n, [&] { decryptBlocksAesNi(key, data.data(), data.data(), blocks); });
    std::printf("  %-28s %9.0f MB/s\n", "AES instructions", ni);
  } else {
    std::printf("  %-28s   not available on this CPU\n", "AES instructions");
  }
  double chunk = measure(n, [&] { decryptAesChunk(key, data.data(), static_cast<uint32_t>(n)); });
  std::printf("  %-28s %9.0f MB/s\n", "decryptAesChunk", chunk);
}

}  // namespace
}  // namespace extractor

int main() {
  std::mt19937 engine(1);
  std::vector<uint8_t> data(1 << 20);
  for (auto& b : data) b = static_cast<uint8_t>(engine());
  extractor::benchCrc(data);
  extractor::benchCrc(std::vector<uint8_t>(data.begin(), data.begin() + 16384));
  extractor::benchAes(data);
  return 0;
}
