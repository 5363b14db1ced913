#pragma once

// AES-encrypted archive entries: whole 16-byte blocks enciphered one by one,
// the last block padded with n bytes of value n, and a 16-byte verification
// block that tells whether a password is right.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "crypto/aes.h"

namespace extractor {

// The rounds an entry's AES kind selects: 2 for kind 2, 8 for kind 3, 14 for
// any other.
int32_t aesRoundsForKind(int32_t kind);

// Makes the decryption key of an entry from its kind and the password in the
// ANSI code page. Returns makeAesKey's result, 1 on success.
int32_t setupEntryAes(AesKey& key, int32_t kind, const std::string& ansiPassword);

// The same for the encrypting side.
int32_t setupEntryAesEncryption(AesKey& key, int32_t kind, const std::string& ansiPassword);

// Decrypts the whole blocks at the start of buffer in place; a trailing
// partial block is left as it is.
void decryptAesChunk(const AesKey& key, uint8_t* buffer, uint32_t length);

// Decrypts an entry's last chunk in place and drops its padding. On failure
// length becomes decryptAesLast's negative result, kAesBadData for bad data,
// and the buffer keeps its ciphertext. A length of 0 or less succeeds with 0.
bool decryptAesFinal(const AesKey& key, uint8_t* buffer, int32_t& length);

// The ciphertext of an entry whose compressed bytes are data.
std::vector<uint8_t> encryptAesEntryData(int32_t kind, const std::string& ansiPassword,
                                         const uint8_t* data, size_t size);

// The verification block for an entry: the CRC-32 little-endian followed by
// twelve bytes of value 12, enciphered.
std::array<uint8_t, 16> makeAesVerifier(int32_t kind, const std::string& ansiPassword,
                                        uint32_t crc);

// The check the reader applies: the block decrypts under the padding rule and
// starts with crc, little-endian.
bool checkAesVerifier(const AesKey& key, const uint8_t block[16], uint32_t crc);

}  // namespace extractor
