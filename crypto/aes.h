#pragma once

// The Rijndael block cipher (FIPS-197): with a 256-bit key made from password
// text and a selectable number of rounds, 1 to 14 (14 is AES-256), or as
// standard AES-128, -192 and -256 from key bytes.

#include <cstdint>

namespace extractor {

constexpr int kAesEncrypt = 0;
constexpr int kAesDecrypt = 1;
constexpr int kAesBlockSize = 16;

constexpr int32_t kAesBadDirection = -1;
constexpr int32_t kAesBadKeyBits = -2;
constexpr int32_t kAesNoKey = -3;
constexpr int32_t kAesWrongDirection = -5;
constexpr int32_t kAesBadData = -8;

struct AesKey {
  uint8_t direction = kAesDecrypt;
  int32_t keyBits = 256;
  uint8_t keyText[65] = {};
  // Set before makeAesKey, which builds the schedule for this many rounds.
  int32_t rounds = 14;
  // The schedule in the order the cipher uses it: forward for encryption,
  // reversed with InvMixColumns applied for decryption.
  uint32_t roundKeys[60] = {};
  // The same schedule as the bytes the AES instructions load.
  uint8_t roundKeyBytes[240] = {};
};

// Returns 1, or kAesNoKey, kAesBadDirection or kAesBadKeyBits. Only 256 bits
// build a schedule; a rounds value outside 1..14 is taken as 14.
int32_t makeAesKey(AesKey* key, int direction, int keyBits, const char* text);

// Packs 64 bytes of key text into the 32 key bytes: digits, letters, space and
// hyphen add six bits each, any other byte adds eight bits as a signed value.
void packKeyText(const uint8_t keyText[64], uint8_t key[32]);

// Builds the schedule for key.rounds from 32 key bytes and sets the
// direction; makeAesKey ends here after packing the text.
void expandAesKey(AesKey& key, int direction, const uint8_t keyBytes[32]);

// The standard encryption schedule of AES-128, -192 or -256 (keyBits 128,
// 192 or 256) from keyBits / 8 key bytes; sets rounds to 10, 12 or 14.
void makeAesEncryptionKey(AesKey& key, const uint8_t* keyBytes, int keyBits);

void decryptAesBlock(const AesKey& key, const uint8_t in[16], uint8_t out[16]);
void encryptAesBlock(const AesKey& key, const uint8_t in[16], uint8_t out[16]);

// Decrypt (encrypt) bitCount / 128 whole blocks independently; in and out may
// be the same buffer. Return the bits processed, 0 when in is null or
// bitCount <= 0, kAesWrongDirection for a key of the other direction.
int32_t decryptAesBlocks(const AesKey& key, const uint8_t* in, int32_t bitCount, uint8_t* out);
int32_t encryptAesBlocks(const AesKey& key, const uint8_t* in, int32_t bitCount, uint8_t* out);

// Decrypts byteCount bytes whose last block ends in a padding count n (0..16)
// repeated n times, and writes byteCount - n bytes, the count it returns.
// kAesBadData when byteCount is not whole blocks or the padding is invalid;
// 0 when byteCount <= 0.
int32_t decryptAesLast(const AesKey& key, const uint8_t* in, int32_t byteCount, uint8_t* out);

// Pads byteCount bytes with n bytes of value n, 1 <= n <= 16, to whole blocks
// and encrypts them into out, which holds byteCount + 16 bytes. Returns the
// bytes written, 0 when byteCount < 0 or in is null with a nonzero count.
int32_t encryptAesLast(const AesKey& key, const uint8_t* in, int32_t byteCount, uint8_t* out);

}  // namespace extractor
