// Encrypts one entry's packed bytes on their way to the archive: the
// traditional ZIP cipher behind its 12-byte header, or the extractor's AES
// entries, whole blocks with a padded last block.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "crypto/aes.h"
#include "crypto/zip_crypto.h"
#include "options.h"
#include "spool.h"

namespace extractor::pack {

class EntryCipher {
 public:
  // ansiPassword: the password's bytes as the extractor keys them.
  EntryCipher(Encryption encryption, int aesKind, const std::string& ansiPassword, uint32_t crc);

  // The encryption header in front of the data, encrypted; empty for AES
  // and for no encryption.
  const std::vector<uint8_t>& header() const { return header_; }
  // Kind and verification block of an AES entry, else empty.
  const std::vector<uint8_t>& centralExtra() const { return centralExtra_; }
  uint16_t flags() const { return encryption_ == Encryption::None ? 0 : 1; }
  // The compressed size the directory gives for packedSize bytes of data.
  uint64_t storedSize(uint64_t packedSize) const;
  // Volumes may only cut an entry's data at multiples of this.
  uint32_t blockSize() const { return encryption_ == Encryption::Aes ? kAesBlockSize : 1; }

  Error encrypt(const uint8_t* data, size_t size, const ByteSink& sink);
  // The last, padded block of an AES entry.
  Error finish(const ByteSink& sink);

 private:
  Encryption encryption_;
  ZipCryptKeys keys_;
  AesKey aes_{};
  std::vector<uint8_t> header_;
  std::vector<uint8_t> centralExtra_;
  std::vector<uint8_t> pending_;  // bytes short of a whole AES block
  std::vector<uint8_t> buffer_;
};

}  // namespace extractor::pack
