#include "crypto/zip_crypto.h"

#include "crypto/crc32.h"

namespace extractor {

void initKeys(ZipCryptKeys& keys, const uint8_t* password, size_t count) {
  keys = ZipCryptKeys{};
  for (size_t i = 0; i < count; i++) updateKeys(keys, password[i]);
}

void updateKeys(ZipCryptKeys& keys, uint8_t plain) {
  if (crcTable[1] == 0) buildCrcTable();
  keys.key0 = (keys.key0 >> 8) ^ crcTable[(keys.key0 ^ plain) & 0xFF];
  keys.key1 = (keys.key1 + (keys.key0 & 0xFF)) * 134775813u + 1;
  keys.key2 = (keys.key2 >> 8) ^ crcTable[(keys.key2 ^ (keys.key1 >> 24)) & 0xFF];
}

static uint8_t keystreamByte(const ZipCryptKeys& keys) {
  uint32_t t = (keys.key2 & 0xFFFF) | 2;
  return static_cast<uint8_t>((t * (t ^ 1)) >> 8);
}

uint8_t decryptByte(ZipCryptKeys& keys, uint8_t cipher) {
  uint8_t plain = cipher ^ keystreamByte(keys);
  updateKeys(keys, plain);
  return plain;
}

void decryptHeader(ZipCryptKeys& keys, uint8_t* header) {
  decryptBuffer(keys, header, kCryptHeaderSize);
}

void decryptBuffer(ZipCryptKeys& keys, uint8_t* buffer, uint32_t length) {
  for (uint32_t i = 0; i < length; i++) buffer[i] = decryptByte(keys, buffer[i]);
}

uint8_t encryptByte(ZipCryptKeys& keys, uint8_t plain) {
  uint8_t cipher = plain ^ keystreamByte(keys);
  updateKeys(keys, plain);
  return cipher;
}

void encryptHeader(ZipCryptKeys& keys, uint8_t* header) {
  encryptBuffer(keys, header, kCryptHeaderSize);
}

void encryptBuffer(ZipCryptKeys& keys, uint8_t* buffer, uint32_t length) {
  for (uint32_t i = 0; i < length; i++) buffer[i] = encryptByte(keys, buffer[i]);
}

void makeCryptHeader(ZipCryptKeys& keys, const uint8_t* password, size_t count,
                     const uint8_t random[11], uint8_t checkByte, uint8_t header[12]) {
  initKeys(keys, password, count);
  for (int i = 0; i < kCryptHeaderSize - 1; i++) header[i] = random[i];
  header[kCryptHeaderSize - 1] = checkByte;
  encryptHeader(keys, header);
}

}  // namespace extractor
