#include "crypto/crc32.h"

#include "crypto/crc32_paths.h"

namespace extractor {

uint32_t crcTable[256];

void buildCrcTable() {
  for (uint32_t i = 0; i < 256; i++) {
    uint32_t c = i;
    for (int bit = 0; bit < 8; bit++) c = (c & 1) ? (c >> 1) ^ 0xEDB88320u : c >> 1;
    crcTable[i] = c;
  }
}

uint32_t crc32UpdateBytewise(uint32_t crc, const uint8_t* data, int32_t length) {
  if (length <= 0) return crc;
  if (crcTable[1] == 0) buildCrcTable();
  uint32_t c = ~crc;
  for (int32_t i = 0; i < length; i++) c = (c >> 8) ^ crcTable[(c ^ data[i]) & 0xFF];
  return ~c;
}

using CrcPath = uint32_t (*)(uint32_t, const uint8_t*, size_t);

static CrcPath chooseCrcPath() {
  if (crc32VpclmulAvailable()) return crc32Vpclmul;
  if (crc32ClmulAvailable()) return crc32Clmul;
  return crc32Slice8;
}

uint32_t crc32Update(uint32_t crc, const uint8_t* data, int32_t length) {
  if (length <= 0) return crc;
  static const CrcPath path = chooseCrcPath();
  return ~path(~crc, data, static_cast<size_t>(length));
}

}  // namespace extractor
