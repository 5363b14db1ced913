#include "entry_cipher.h"

#include <random>

#include "crypto/aes_entry.h"
#include "platform/host.h"
#include "zip_records.h"

namespace extractor::pack {

namespace {

constexpr uint16_t kWinZipAesVersion = 2;  // AE-2: no CRC-32

}  // namespace

EntryCipher::EntryCipher(const Options& options, Encryption encryption,
                         const std::string& ansiPassword, uint32_t crc, uint16_t packedMethod)
    : encryption_(encryption) {
  auto password = reinterpret_cast<const uint8_t*>(ansiPassword.data());
  const int aesKind = options.aesKind;
  if (encryption == Encryption::Aes) {
    startWinZipAes(options.aesStrength, options.password.value_or(std::string()), packedMethod);
  } else if (encryption == Encryption::Traditional) {
    std::random_device source;
    uint8_t random[11];
    for (uint8_t& b : random) b = static_cast<uint8_t>(source());
    header_.resize(kCryptHeaderSize);
    // The extractor checks the last header byte against the CRC's high byte.
    makeCryptHeader(keys_, password, ansiPassword.size(), random, static_cast<uint8_t>(crc >> 24),
                    header_.data());
  } else if (encryption == Encryption::LegacyAes) {
    setupEntryAesEncryption(aes_, aesKind, ansiPassword);
    std::array<uint8_t, 16> verifier = makeAesVerifier(aesKind, ansiPassword, crc);
    centralExtra_ = {static_cast<uint8_t>(aesKind), 0};
    centralExtra_.insert(centralExtra_.end(), verifier.begin(), verifier.end());
  }
}

// A fresh salt per entry from the system's random source: a counter or a
// clock would repeat, and a repeated salt repeats the keystream.
void EntryCipher::startWinZipAes(int strength, const std::string& utf8Password,
                                 uint16_t packedMethod) {
  const size_t saltSize = winZipAesSaltSize(strength);
  uint8_t salt[kWinZipAesMaxSalt];
  if (!platform::fillRandom(salt, saltSize)) {
    failure_ = std::string("the system's random source gave no bytes for a salt");
    return;
  }
  WinZipAesKeys keys = deriveWinZipAesKeys(reinterpret_cast<const uint8_t*>(utf8Password.data()),
                                           utf8Password.size(), salt, strength);
  winZipAes_ = WinZipAesData(keys);
  header_.assign(salt, salt + saltSize);
  header_.insert(header_.end(), keys.verifier, keys.verifier + kWinZipAesVerifierSize);
  put16(localExtra_, kWinZipAesExtraId);
  put16(localExtra_, kWinZipAesExtraSize);
  put16(localExtra_, kWinZipAesVersion);
  localExtra_.push_back('A');
  localExtra_.push_back('E');
  localExtra_.push_back(static_cast<uint8_t>(strength));
  put16(localExtra_, packedMethod);
  centralExtra_ = localExtra_;
}

uint16_t EntryCipher::method(uint16_t packedMethod) const {
  return encryption_ == Encryption::Aes ? kWinZipAesMethod : packedMethod;
}

uint32_t EntryCipher::crc(uint32_t dataCrc) const {
  return encryption_ == Encryption::Aes ? 0 : dataCrc;
}

uint64_t EntryCipher::storedSize(uint64_t packedSize) const {
  if (encryption_ == Encryption::Traditional) return packedSize + kCryptHeaderSize;
  if (encryption_ == Encryption::Aes) {
    return packedSize + static_cast<uint32_t>(header_.size() + kWinZipAesCodeSize);
  }
  if (encryption_ == Encryption::LegacyAes)
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
  if (encryption_ == Encryption::Aes) {
    buffer_.assign(data, data + size);
    winZipAes_.encrypt(buffer_.data(), size);
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
  if (encryption_ == Encryption::Aes) {
    uint8_t code[kWinZipAesCodeSize];
    winZipAes_.code(code);
    return sink(code, kWinZipAesCodeSize);
  }
  if (encryption_ != Encryption::LegacyAes) return std::nullopt;
  uint8_t last[2 * kAesBlockSize];
  int32_t written =
      encryptAesLast(aes_, pending_.data(), static_cast<int32_t>(pending_.size()), last);
  pending_.clear();
  return sink(last, static_cast<size_t>(written));
}

}  // namespace extractor::pack
