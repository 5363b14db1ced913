// Establishing an encrypted entry's password, asking the user as often as
// needed. A wrong password is no failure: the dialog comes back.
#include <string>

#include "crypto/aes_entry.h"
#include "crypto/winzip_aes.h"
#include "engine/extract_entry.h"
#include "engine/report_error.h"
#include "engine/utf8.h"
#include "engine/zip.h"
#include "engine/zip_format.h"
#include "platform/text.h"

namespace extractor {
namespace {

std::string passwordBytes(const std::optional<std::u16string>& password) {
  if (!password) return {};
  std::string bytes = platform::wideToAnsi(*password, platform::Unmappable::Question);
  return bytes.substr(0, bytes.find('\0'));
}

int32_t abortCheck(Zip& zip) {
  zip.abortRequest = 0;
  return ReportError(zip, zipErrAborted);
}

void askAgain(Zip& zip) {
  zip.ShowPasswordDialog();
  zip.PumpMessages();
}

// Writers that stream an entry (sizes and CRC-32 in a data descriptor)
// make the check byte from the DOS time, as they know no CRC-32 yet.
bool headerAccepted(const ZipEntry& entry, const uint8_t* header) {
  uint8_t check = header[kCryptHeaderSize - 1];
  if (check == static_cast<uint8_t>(entry.crc >> 24)) return true;
  return (entry.flags & kDataDescriptorFlag) && check == static_cast<uint8_t>(entry.dosTime >> 8);
}

}  // namespace

int32_t CheckTraditionalPassword(ZipEntry& entry, ZipCryptKeys& keys, uint64_t& dataLength,
                                 uint8_t* scratch) {
  Zip& zip = *entry.owner;
  ZipStream& source = *entry.source;
  for (;;) {
    if (zip.abortRequest) return abortCheck(zip);
    if (!zip.password || zip.password->empty()) {
      askAgain(zip);
      continue;
    }
    std::string bytes = passwordBytes(zip.password);
    initKeys(keys, reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    if (source.Read(scratch, kCryptHeaderSize) != 0) return ReportError(zip, zipErrOpenForReading);
    decryptHeader(keys, scratch);
    if (headerAccepted(entry, scratch)) {
      dataLength -= kCryptHeaderSize;
      return 0;
    }
    askAgain(zip);
    source.Seek(static_cast<int64_t>(source.Position()) - kCryptHeaderSize);
  }
}

int32_t CheckAesPassword(ZipEntry& entry, AesKey& key) {
  Zip& zip = *entry.owner;
  for (;;) {
    if (zip.abortRequest) return abortCheck(zip);
    setupEntryAes(key, entry.encryptionKind, passwordBytes(zip.password));
    bool right = checkAesVerifier(key, entry.verifierBlock.data(), entry.crc);
    if (right && zip.password && !zip.password->empty()) return 0;
    askAgain(zip);
    if (right) return 0;
  }
}

// The writers of WinZip AES entries key them with the password in UTF-8,
// whatever the system's code page. The salt and verifier are read once; each
// try derives the keys anew, which is all a try costs.
int32_t CheckWinZipAesPassword(ZipEntry& entry, WinZipAesData& data, uint8_t* scratch) {
  Zip& zip = *entry.owner;
  const size_t saltSize = winZipAesSaltSize(entry.aesStrength);
  const uint32_t headerSize = static_cast<uint32_t>(saltSize + kWinZipAesVerifierSize);
  if (entry.source->Read(scratch, headerSize) != 0) return ReportError(zip, zipErrOpenForReading);
  for (;;) {
    if (zip.abortRequest) return abortCheck(zip);
    if (!zip.password || zip.password->empty()) {
      askAgain(zip);
      continue;
    }
    std::string bytes = encodeUtf8(*zip.password);
    WinZipAesKeys keys = deriveWinZipAesKeys(reinterpret_cast<const uint8_t*>(bytes.data()),
                                             bytes.size(), scratch, entry.aesStrength);
    if (keys.verifier[0] == scratch[saltSize] && keys.verifier[1] == scratch[saltSize + 1]) {
      data = WinZipAesData(keys);
      return 0;
    }
    askAgain(zip);
  }
}

}  // namespace extractor
