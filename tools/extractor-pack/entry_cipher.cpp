#include "entry_cipher.h"

#include <random>

#include "crypto/aes_entry.h"

namespace extractor::pack {

EntryCipher::EntryCipher(Encryption encryption, int aesKind, const std::string& ansiPassword,
                         uint32_t crc)
    : encryption_(encryption) {
  auto password = reinterpret_cast<const uint8_t*>(ansiPassword.data());
  if (encryption == Encryption::Traditional) {
    std::random_device source;
    uint8_t random[11];
    for (uint8_t& b : random) b = static_cast<uint8_t>(source());
    header_.resize(kCryptHeaderSize);
    // The extractor checks the last header byte against the CRC's high byte.
    makeCryptHeader(keys_, password, ansiPassword.size(), random, static_cast<uint8_t>(crc >> 24),
                    header_.data());
  } else if (encryption == Encryption::Aes) {
    setupEntryAesEncryption(aes_, aesKind, ansiPassword);
    std::array<uint8_t, 16> verifier = makeAesVerifier(aesKind, ansiPassword, crc);
    centralExtra_ = {static_cast<uint8_t>(aesKind), 0};
    centralExtra_.insert(centralExtra_.end(), verifier.begin(), verifier.end());
  }
}

uint64_t EntryCipher::storedSize(uint64_t packedSize) const {
  if (encryption_ == Encryption::Traditional) return packedSize + kCryptHeaderSize;
  if (encryption_ == Encryption::Aes)
    return packedSize / kAesBlockSize * kAesBlockSize + kAesBlockSize;
  return packedSize;
}

Error EntryCipher::encrypt(const uint8_t* data, size_t size, const ByteSink& sink) {
  if (encryption_ == Encryption::None) return sink(data, size);
  if (encryption_ == Encryption::Traditional) {
    buffer_.assign(data, data + size);
    encryptBuffer(keys_, buffer_.data(), static_cast<uint32_t>(size));
    return sink(buffer_.data(), size);
  }
  pending_.insert(pending_.end(), data, data + size);
  size_t whole = pending_.size() / kAesBlockSize * kAesBlockSize;
  if (whole == 0) return std::nullopt;
  buffer_.resize(whole);
  encryptAesBlocks(aes_, pending_.data(), static_cast<int32_t>(whole * 8), buffer_.data());
  pending_.erase(pending_.begin(), pending_.begin() + static_cast<long>(whole));
  return sink(buffer_.data(), whole);
}

Error EntryCipher::finish(const ByteSink& sink) {
  if (encryption_ != Encryption::Aes) return std::nullopt;
  uint8_t last[2 * kAesBlockSize];
  int32_t written =
      encryptAesLast(aes_, pending_.data(), static_cast<int32_t>(pending_.size()), last);
  pending_.clear();
  return sink(last, static_cast<size_t>(written));
}

}  // namespace extractor::pack
