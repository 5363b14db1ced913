#include "entry_crypto.h"

#include "crypto/aes_entry.h"
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

}  // namespace extractor::test
