// Encrypts one entry's packed bytes on their way to the archive: WinZip AES
// (salt and verifier in front, the authentication code behind), the
// traditional ZIP cipher behind its 12-byte header, or the extractor's own
// AES, whole blocks with a padded last block.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "crypto/aes.h"
#include "crypto/winzip_aes.h"
#include "crypto/zip_crypto.h"
#include "options.h"
#include "spool.h"

namespace extractor::pack {

class EntryCipher {
 public:
  // ansiPassword: the password's bytes as the extractor keys the traditional
  // cipher and its own AES; options.password, in UTF-8,
  // keys WinZip AES.
  EntryCipher(const Options& options, Encryption encryption, const std::string& ansiPassword,
              uint32_t crc, uint16_t packedMethod);

  // Set when the cipher could not be set up (no random bytes for a salt).
  const Error& failure() const { return failure_; }
  // The bytes in front of the data: the traditional header, or the WinZip
  // AES salt and verifier; empty otherwise.
  const std::vector<uint8_t>& header() const { return header_; }
  // WinZip AES: extra field 0x9901 in both headers. The extractor's AES:
  // kind and verification block, in the central header only.
  const std::vector<uint8_t>& centralExtra() const { return centralExtra_; }
  const std::vector<uint8_t>& localExtra() const { return localExtra_; }
  uint16_t flags() const { return encryption_ == Encryption::None ? 0 : 1; }
  // WinZip AES entries name method 99 and keep the real one in the extra
  // field; as AE-2 they leave the CRC-32 at 0, the code standing in for it.
  uint16_t method(uint16_t packedMethod) const;
  uint32_t crc(uint32_t dataCrc) const;
  // The compressed size the directory gives for packedSize bytes of data.
  uint64_t storedSize(uint64_t packedSize) const;
  // Volumes may only cut an entry's data at multiples of this.
  uint32_t blockSize() const { return encryption_ == Encryption::LegacyAes ? kAesBlockSize : 1; }

  Error encrypt(const uint8_t* data, size_t size, const ByteSink& sink);
  // The last, padded block of a legacy AES entry; the code of a WinZip one.
  Error finish(const ByteSink& sink);

 private:
  void startWinZipAes(int strength, const std::string& utf8Password, uint16_t packedMethod);

  Encryption encryption_;
  Error failure_;
  ZipCryptKeys keys_;
  AesKey aes_{};
  WinZipAesData winZipAes_;
  std::vector<uint8_t> header_;
  std::vector<uint8_t> centralExtra_;
  std::vector<uint8_t> localExtra_;
  std::vector<uint8_t> pending_;  // bytes short of a whole AES block
  std::vector<uint8_t> buffer_;
};

}  // namespace extractor::pack
