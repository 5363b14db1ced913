#include "entry_crypto.h"

#include "crypto/aes_entry.h"
#include "crypto/winzip_aes.h"
#include "crypto/zip_crypto.h"

namespace extractor::test {

void encryptTraditional(BuiltEntry& entry, const std::string& password, bool checkTime) {
  const uint8_t random[11] = {3, 1, 4, 1, 5, 9, 2, 6, 5, 3, 5};
  uint8_t check = static_cast<uint8_t>(entry.crc >> 24);
  if (checkTime) {
    entry.flags |= 1 << 3;
    check = static_cast<uint8_t>(entry.dosTime >> 8);
  }
  ZipCryptKeys keys;
  uint8_t header[12];
  makeCryptHeader(keys, reinterpret_cast<const uint8_t*>(password.data()), password.size(), random,
                  check, header);
  encryptBuffer(keys, entry.data.data(), static_cast<uint32_t>(entry.data.size()));
  entry.data.insert(entry.data.begin(), header, header + 12);
  entry.flags |= 1;
  entry.compressedSize = static_cast<uint32_t>(entry.data.size());
}

void encryptAes(BuiltEntry& entry, const std::string& password, int32_t kind) {
  entry.data = encryptAesEntryData(kind, password, entry.data.data(), entry.data.size());
  entry.compressedSize = static_cast<uint32_t>(entry.data.size());
  auto verifier = makeAesVerifier(kind, password, entry.crc);
  entry.centralExtra = {static_cast<uint8_t>(kind), 0};
  entry.centralExtra.insert(entry.centralExtra.end(), verifier.begin(), verifier.end());
}

void encryptWinZipAes(BuiltEntry& entry, const std::string& password, int strength, int version) {
  std::vector<uint8_t> salt(winZipAesSaltSize(strength));
  for (size_t i = 0; i < salt.size(); i++) salt[i] = static_cast<uint8_t>(0xA0 + i * 7);
  WinZipAesKeys keys = deriveWinZipAesKeys(reinterpret_cast<const uint8_t*>(password.data()),
                                           password.size(), salt.data(), strength);
  WinZipAesData cipher(keys);
  cipher.encrypt(entry.data.data(), entry.data.size());
  uint8_t code[kWinZipAesCodeSize];
  cipher.code(code);
  std::vector<uint8_t> data = salt;
  data.insert(data.end(), keys.verifier, keys.verifier + kWinZipAesVerifierSize);
  data.insert(data.end(), entry.data.begin(), entry.data.end());
  data.insert(data.end(), code, code + kWinZipAesCodeSize);
  entry.data = data;
  entry.compressedSize = static_cast<uint32_t>(data.size());
  std::vector<uint8_t> extra;
  put16(extra, kWinZipAesExtraId);
  put16(extra, kWinZipAesExtraSize);
  put16(extra, static_cast<uint16_t>(version));
  extra.push_back('A');
  extra.push_back('E');
  extra.push_back(static_cast<uint8_t>(strength));
  put16(extra, entry.method);
  entry.centralExtra = entry.localExtra = extra;
  entry.method = kWinZipAesMethod;
  entry.flags |= 1;
  if (version == 2) entry.crc = 0;
}

}  // namespace extractor::test
