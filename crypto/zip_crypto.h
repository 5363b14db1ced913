#pragma once

// The traditional encryption of the ZIP format: a stream cipher driven by
// three keys that advance with every plaintext byte, so the bytes of an entry
// must pass through strictly in order.

#include <cstddef>
#include <cstdint>

namespace extractor {

struct ZipCryptKeys {
  uint32_t key0 = 0x12345678, key1 = 0x23456789, key2 = 0x34567890;
};

constexpr int kCryptHeaderSize = 12;

// Resets the keys to their initial values and advances them by each of the
// count password bytes.
void initKeys(ZipCryptKeys& keys, const uint8_t* password, size_t count);
void updateKeys(ZipCryptKeys& keys, uint8_t plain);

uint8_t decryptByte(ZipCryptKeys& keys, uint8_t cipher);
void decryptHeader(ZipCryptKeys& keys, uint8_t* header);
void decryptBuffer(ZipCryptKeys& keys, uint8_t* buffer, uint32_t length);

uint8_t encryptByte(ZipCryptKeys& keys, uint8_t plain);
void encryptHeader(ZipCryptKeys& keys, uint8_t* header);
void encryptBuffer(ZipCryptKeys& keys, uint8_t* buffer, uint32_t length);

// Keys keys from the password and writes the encrypted 12-byte header made of
// the 11 random bytes followed by checkByte: the CRC-32's high byte, which the
// reader compares with the decrypted byte 11. The keys are left ready to
// encrypt the entry's data.
void makeCryptHeader(ZipCryptKeys& keys, const uint8_t* password, size_t count,
                     const uint8_t random[11], uint8_t checkByte, uint8_t header[12]);

}  // namespace extractor
