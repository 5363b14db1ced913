// Throughput of the CRC-32 against zlib and libdeflate, of AES decryption of
// entry data, and of the WinZip AES primitives (SHA-1, AES-CTR, PBKDF2)
// against OpenSSL, on buffers the size of the extractor's read chunks.

#include <libdeflate.h>
#include <openssl/evp.h>
#include <openssl/sha.h>
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
#include "crypto/hmac_sha1.h"
#include "crypto/sha1_paths.h"
#include "crypto/winzip_aes.h"

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

void benchSha1(const uint8_t* p, size_t n) {
  std::vector<Candidate> c = {
      {"OpenSSL SHA1",
       [&] {
         unsigned char digest[SHA_DIGEST_LENGTH];
         SHA1(p, n, digest);
         sink = digest[0];
       }},
      {"Sha1",
       [&] {
         Sha1 hash;
         hash.update(p, n);
         uint8_t digest[kSha1DigestSize];
         hash.finish(digest);
         sink = digest[0];
       }},
      {"  portable",
       [&] {
         uint32_t state[5] = {};
         sha1BlocksPortable(state, p, n / kSha1BlockSize);
         sink = state[0];
       }},
  };
  measure(c, n);
  std::printf("SHA-1, %zu KiB buffer\n", n / 1024);
  print(c);
  std::printf("  ratio Sha1 / OpenSSL            %6.2f\n", c[1].best / c[0].best);
}

void benchCtr(std::vector<uint8_t> data) {
  uint8_t keyBytes[32];
  for (int i = 0; i < 32; i++) keyBytes[i] = static_cast<uint8_t>(i * 11);
  uint8_t* p = data.data();
  const size_t n = data.size();
  // The same counter layout as WinZip AES: little-endian from 1. OpenSSL's
  // counter is big-endian, which costs it nothing either way.
  uint8_t iv[16] = {1};
  EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
  EVP_EncryptInit_ex(ctx, EVP_aes_256_ctr(), nullptr, keyBytes, iv);
  AesCtr ctr;
  ctr.setKey(keyBytes, 256);
  AesKey key;
  makeAesEncryptionKey(key, keyBytes, 256);
  std::vector<Candidate> c = {
      {"OpenSSL AES-256-CTR",
       [&] {
         int out = 0;
         EVP_EncryptUpdate(ctx, p, &out, p, static_cast<int>(n));
       }},
      {"AesCtr", [&] { ctr.apply(p, n); }},
      {"  lookup tables", [&] { ctrXorTable(key, 1, p, n / kAesBlockSize); }},
  };
  measure(c, n);
  EVP_CIPHER_CTX_free(ctx);
  std::printf("AES-256-CTR, %zu KiB chunk in place\n", n / 1024);
  print(c);
  std::printf("  ratio AesCtr / OpenSSL          %6.2f\n", c[1].best / c[0].best);
}

// One password try of a WinZip AES-256 entry: 1,000 iterations for the
// 66 bytes of keys and verifier.
void benchPbkdf2() {
  const uint8_t password[] = "benchmark password";
  const uint8_t salt[16] = {1, 2, 3};
  uint8_t out[66];
  std::vector<Candidate> c = {
      {"OpenSSL PKCS5_PBKDF2_HMAC",
       [&] {
         PKCS5_PBKDF2_HMAC(reinterpret_cast<const char*>(password), sizeof password - 1, salt,
                           sizeof salt, 1000, EVP_sha1(), sizeof out, out);
         sink = out[0];
       }},
      {"pbkdf2HmacSha1",
       [&] {
         pbkdf2HmacSha1(password, sizeof password - 1, salt, sizeof salt, 1000, out, sizeof out);
         sink = out[0];
       }},
  };
  measure(c, 1);
  std::printf("PBKDF2-HMAC-SHA1, 1,000 iterations, 66 bytes (tries per second)\n");
  for (const Candidate& x : c) std::printf("  %-26s %9.0f /s\n", x.name.c_str(), x.best * 1e6);
  std::printf("  ratio pbkdf2HmacSha1 / OpenSSL  %6.2f\n", c[1].best / c[0].best);
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
  extractor::benchSha1(data.data(), data.size());
  extractor::benchCtr(data);
  extractor::benchPbkdf2();
  return 0;
}
