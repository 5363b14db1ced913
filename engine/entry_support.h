// What the entry pipeline can extract. The driver asks before it makes an
// entry's file, so that an entry it cannot read leaves nothing behind.
#pragma once

#include <cstdint>

#include "crypto/zip_crypto.h"
#include "engine/methods.h"
#include "engine/zip_entry.h"
#include "engine/zip_error.h"
#include "engine/zip_format.h"

namespace extractor {

// Strong encryption (bit 6) and an encrypted central directory, which
// masks the local headers (bit 13): ciphers this program does not have.
inline constexpr uint16_t kStrongEncryptionFlags = 1 << 6 | 1 << 13;

// The methods the pipeline decodes are the rows of its method table.
inline bool KnownMethod(uint16_t method) {
  return FindMethod(method) != nullptr;
}

// Bytes beyond a traditional encryption header. An entry without them needs
// no decoder: it is empty whatever its method says.
inline bool HoldsData(const ZipEntry& entry) {
  return entry.compressedSize > (entry.encryptionKind == 1 ? uint64_t{kCryptHeaderSize} : 0u);
}

// zipErrNone when the pipeline can extract the entry, otherwise the error
// that refuses it.
inline ZipError EntryRefusal(const ZipEntry& entry) {
  if (entry.flags & kStrongEncryptionFlags) return zipErrUnknownAlgorithm;
  if (HoldsData(entry) && !KnownMethod(entry.method)) return zipErrUnknownAlgorithm;
  return zipErrNone;
}

}  // namespace extractor
