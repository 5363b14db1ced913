#include "crypto/winzip_aes.h"

namespace extractor {

int winZipAesKeyBits(int strength) {
  return strength >= 1 && strength <= 3 ? 64 + 64 * strength : 0;
}

size_t winZipAesSaltSize(int strength) {
  return strength >= 1 && strength <= 3 ? 4 + 4 * static_cast<size_t>(strength) : 0;
}

WinZipAesKeys deriveWinZipAesKeys(const uint8_t* password, size_t passwordSize, const uint8_t* salt,
                                  int strength) {
  WinZipAesKeys keys;
  keys.keyBits = winZipAesKeyBits(strength);
  const size_t keySize = static_cast<size_t>(keys.keyBits) / 8;
  uint8_t derived[2 * 32 + kWinZipAesVerifierSize];
  const size_t derivedSize = 2 * keySize + kWinZipAesVerifierSize;
  pbkdf2HmacSha1(password, passwordSize, salt, winZipAesSaltSize(strength), kWinZipAesIterations,
                 derived, derivedSize);
  for (size_t i = 0; i < keySize; i++) {
    keys.aes[i] = derived[i];
    keys.mac[i] = derived[keySize + i];
  }
  keys.verifier[0] = derived[2 * keySize];
  keys.verifier[1] = derived[2 * keySize + 1];
  return keys;
}

WinZipAesData::WinZipAesData(const WinZipAesKeys& keys) {
  ctr_.setKey(keys.aes, keys.keyBits);
  mac_.setKey(keys.mac, static_cast<size_t>(keys.keyBits) / 8);
}

void WinZipAesData::decrypt(uint8_t* data, size_t size) {
  mac_.update(data, size);
  ctr_.apply(data, size);
}

void WinZipAesData::encrypt(uint8_t* data, size_t size) {
  ctr_.apply(data, size);
  mac_.update(data, size);
}

void WinZipAesData::code(uint8_t out[kWinZipAesCodeSize]) {
  uint8_t full[kSha1DigestSize];
  mac_.finish(full);
  for (size_t i = 0; i < kWinZipAesCodeSize; i++) out[i] = full[i];
}

bool WinZipAesData::codeMatches(const uint8_t stored[kWinZipAesCodeSize]) {
  uint8_t computed[kWinZipAesCodeSize];
  code(computed);
  uint8_t difference = 0;
  for (size_t i = 0; i < kWinZipAesCodeSize; i++) difference |= computed[i] ^ stored[i];
  return difference == 0;
}

}  // namespace extractor
