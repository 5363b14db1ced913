#include <cstring>

#include "crypto/aes.h"
#include "crypto/aes_paths.h"

namespace extractor {

using BlocksPath = void (*)(const AesKey&, const uint8_t*, uint8_t*, size_t);

void decryptBlocks(const AesKey& key, const uint8_t* in, uint8_t* out, size_t blocks) {
  static const BlocksPath path = aesNiAvailable() ? decryptBlocksAesNi : decryptBlocksTable;
  path(key, in, out, blocks);
}

void encryptBlocks(const AesKey& key, const uint8_t* in, uint8_t* out, size_t blocks) {
  static const BlocksPath path = aesNiAvailable() ? encryptBlocksAesNi : encryptBlocksTable;
  path(key, in, out, blocks);
}

void decryptAesBlock(const AesKey& key, const uint8_t in[16], uint8_t out[16]) {
  decryptBlocks(key, in, out, 1);
}

void encryptAesBlock(const AesKey& key, const uint8_t in[16], uint8_t out[16]) {
  encryptBlocks(key, in, out, 1);
}

int32_t decryptAesBlocks(const AesKey& key, const uint8_t* in, int32_t bitCount, uint8_t* out) {
  if (in == nullptr || bitCount <= 0) return 0;
  if (key.direction != kAesDecrypt) return kAesWrongDirection;
  int32_t blocks = bitCount / 128;
  decryptBlocks(key, in, out, static_cast<size_t>(blocks));
  return blocks * 128;
}

int32_t encryptAesBlocks(const AesKey& key, const uint8_t* in, int32_t bitCount, uint8_t* out) {
  if (in == nullptr || bitCount <= 0) return 0;
  if (key.direction != kAesEncrypt) return kAesWrongDirection;
  int32_t blocks = bitCount / 128;
  encryptBlocks(key, in, out, static_cast<size_t>(blocks));
  return blocks * 128;
}

int32_t decryptAesLast(const AesKey& key, const uint8_t* in, int32_t byteCount, uint8_t* out) {
  if (in == nullptr || byteCount <= 0) return 0;
  if (key.direction != kAesDecrypt) return kAesWrongDirection;
  if (byteCount % kAesBlockSize != 0) return kAesBadData;
  // The last block is checked first so that a failure leaves out untouched.
  int32_t head = byteCount - kAesBlockSize;
  uint8_t last[kAesBlockSize];
  decryptBlocks(key, in + head, last, 1);
  int n = last[kAesBlockSize - 1];
  if (n > kAesBlockSize) return kAesBadData;
  for (int i = kAesBlockSize - n; i < kAesBlockSize; i++) {
    if (last[i] != n) return kAesBadData;
  }
  decryptBlocks(key, in, out, static_cast<size_t>(head / kAesBlockSize));
  std::memcpy(out + head, last, kAesBlockSize - n);
  return byteCount - n;
}

int32_t encryptAesLast(const AesKey& key, const uint8_t* in, int32_t byteCount, uint8_t* out) {
  if (byteCount < 0 || (in == nullptr && byteCount > 0)) return 0;
  if (key.direction != kAesEncrypt) return kAesWrongDirection;
  int32_t head = byteCount / kAesBlockSize * kAesBlockSize;
  int32_t rest = byteCount - head;
  int n = kAesBlockSize - rest;
  uint8_t last[kAesBlockSize];
  if (rest > 0) std::memcpy(last, in + head, static_cast<size_t>(rest));
  std::memset(last + rest, n, static_cast<size_t>(n));
  encryptBlocks(key, in, out, static_cast<size_t>(head / kAesBlockSize));
  encryptBlocks(key, last, out + head, 1);
  return head + kAesBlockSize;
}

}  // namespace extractor
