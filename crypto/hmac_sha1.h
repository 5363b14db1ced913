#pragma once

// HMAC-SHA1 (RFC 2104) and PBKDF2 over it (RFC 8018), the authentication
// and the key derivation of WinZip AES entries.

#include <cstddef>
#include <cstdint>

#include "crypto/sha1.h"

namespace extractor {

class HmacSha1 {
 public:
  HmacSha1() = default;
  HmacSha1(const uint8_t* key, size_t keySize) { setKey(key, keySize); }
  // Starts a new message under key.
  void setKey(const uint8_t* key, size_t keySize);
  void update(const uint8_t* data, size_t size) { inner_.update(data, size); }
  // The code of the message so far; the next message starts empty.
  void finish(uint8_t code[kSha1DigestSize]);

 private:
  Sha1 inner_;
  uint8_t innerPad_[kSha1BlockSize] = {};
  uint8_t outerPad_[kSha1BlockSize] = {};
};

// PBKDF2-HMAC-SHA1: outSize bytes of key derived from password and salt.
void pbkdf2HmacSha1(const uint8_t* password, size_t passwordSize, const uint8_t* salt,
                    size_t saltSize, uint32_t iterations, uint8_t* out, size_t outSize);

}  // namespace extractor
