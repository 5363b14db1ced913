#pragma once

// WinZip AES entries (method 99, extra field 0x9901): the entry's data are
// a salt, a 2-byte password verifier, the ciphertext of the compressed bytes
// in AES counter mode, and the first 10 bytes of HMAC-SHA1 over that
// ciphertext. PBKDF2-HMAC-SHA1 with 1,000 iterations turns password and salt
// into the AES key, the HMAC key and the verifier, in that order.

#include <cstddef>
#include <cstdint>

#include "crypto/aes_ctr.h"
#include "crypto/hmac_sha1.h"

namespace extractor {

constexpr uint16_t kWinZipAesMethod = 99;
constexpr uint16_t kWinZipAesExtraId = 0x9901;
constexpr size_t kWinZipAesExtraSize = 7;  // the extra field's data
constexpr size_t kWinZipAesVerifierSize = 2;
constexpr size_t kWinZipAesCodeSize = 10;
constexpr size_t kWinZipAesMaxSalt = 16;
constexpr uint32_t kWinZipAesIterations = 1000;

// Strength 1, 2 or 3 stands for AES-128, -192 or -256; 0 for any other.
int winZipAesKeyBits(int strength);
// 8, 12 or 16 bytes for strengths 1 to 3; 0 for any other.
size_t winZipAesSaltSize(int strength);
// The bytes the entry's data hold besides the ciphertext.
inline size_t winZipAesOverhead(int strength) {
  return winZipAesSaltSize(strength) + kWinZipAesVerifierSize + kWinZipAesCodeSize;
}

struct WinZipAesKeys {
  int keyBits = 0;
  uint8_t aes[32] = {};
  uint8_t mac[32] = {};
  uint8_t verifier[kWinZipAesVerifierSize] = {};
};

// The keys of an entry of a valid strength, from the password's bytes (UTF-8,
// as the writers make them) and the entry's salt.
WinZipAesKeys deriveWinZipAesKeys(const uint8_t* password, size_t passwordSize, const uint8_t* salt,
                                  int strength);

// The cipher and authentication of one entry's data, in order.
class WinZipAesData {
 public:
  explicit WinZipAesData(const WinZipAesKeys& keys);
  WinZipAesData() = default;
  // In place; the code covers the ciphertext, so it is taken before
  // decryption and after encryption.
  void decrypt(uint8_t* data, size_t size);
  void encrypt(uint8_t* data, size_t size);
  // The authentication code of the data so far.
  void code(uint8_t out[kWinZipAesCodeSize]);
  bool codeMatches(const uint8_t stored[kWinZipAesCodeSize]);

 private:
  AesCtr ctr_;
  HmacSha1 mac_;
};

}  // namespace extractor
