#include "crypto/aes_entry.h"

#include <cstring>

#include "crypto/aes_paths.h"

namespace extractor {

int32_t aesRoundsForKind(int32_t kind) {
  if (kind == 2) return 2;
  if (kind == 3) return 8;
  return 14;
}

static int32_t setupKey(AesKey& key, int direction, int32_t kind, const std::string& password) {
  key.rounds = aesRoundsForKind(kind);
  return makeAesKey(&key, direction, 256, password.c_str());
}

int32_t setupEntryAes(AesKey& key, int32_t kind, const std::string& ansiPassword) {
  return setupKey(key, kAesDecrypt, kind, ansiPassword);
}

int32_t setupEntryAesEncryption(AesKey& key, int32_t kind, const std::string& ansiPassword) {
  return setupKey(key, kAesEncrypt, kind, ansiPassword);
}

// The blocks are independent, so decrypting in place needs no temporary copy.
void decryptAesChunk(const AesKey& key, uint8_t* buffer, uint32_t length) {
  size_t blocks = length / kAesBlockSize;
  if (blocks == 0 || key.direction != kAesDecrypt) return;
  decryptBlocks(key, buffer, buffer, blocks);
}

bool decryptAesFinal(const AesKey& key, uint8_t* buffer, int32_t& length) {
  if (length <= 0) {
    length = 0;
    return true;
  }
  int32_t produced = decryptAesLast(key, buffer, length, buffer);
  if (produced < 0) {
    length = produced;
    return false;
  }
  length = produced;
  return true;
}

std::vector<uint8_t> encryptAesEntryData(int32_t kind, const std::string& ansiPassword,
                                         const uint8_t* data, size_t size) {
  AesKey key;
  setupEntryAesEncryption(key, kind, ansiPassword);
  std::vector<uint8_t> out(size / kAesBlockSize * kAesBlockSize + kAesBlockSize);
  const size_t head = size / kAesBlockSize * kAesBlockSize;
  // encryptAesLast counts in 32 bits; the whole blocks before the tail go
  // straight to the block path so that entries of any size work.
  encryptBlocks(key, data, out.data(), head / kAesBlockSize);
  encryptAesLast(key, data + head, static_cast<int32_t>(size - head), out.data() + head);
  return out;
}

std::array<uint8_t, 16> makeAesVerifier(int32_t kind, const std::string& ansiPassword,
                                        uint32_t crc) {
  std::array<uint8_t, 16> block;
  for (int i = 0; i < 4; i++) block[i] = static_cast<uint8_t>(crc >> (8 * i));
  std::memset(block.data() + 4, 12, 12);
  AesKey key;
  setupEntryAesEncryption(key, kind, ansiPassword);
  encryptAesBlock(key, block.data(), block.data());
  return block;
}

bool checkAesVerifier(const AesKey& key, const uint8_t block[16], uint32_t crc) {
  uint8_t plain[kAesBlockSize];
  std::memcpy(plain, block, kAesBlockSize);
  int32_t length = kAesBlockSize;
  if (!decryptAesFinal(key, plain, length)) return false;
  uint32_t value = 0;
  for (int i = 0; i < 4; i++) value |= uint32_t{plain[i]} << (8 * i);
  return value == crc;
}

}  // namespace extractor
