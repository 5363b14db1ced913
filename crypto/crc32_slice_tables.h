#pragma once

// Eight tables for slice-by-8, computed when first needed: as constants they
// would add 8 KiB to every self-extracting file. Table 0 equals the lazily
// built crcTable; table k advances a byte through k more zero bytes.

#include <cstdint>

namespace extractor {

struct CrcSliceTables {
  uint32_t t[8][256];
};

inline CrcSliceTables makeCrcSliceTables() {
  CrcSliceTables s{};
  for (uint32_t i = 0; i < 256; i++) {
    uint32_t c = i;
    for (int bit = 0; bit < 8; bit++) c = (c & 1) ? (c >> 1) ^ 0xEDB88320u : c >> 1;
    s.t[0][i] = c;
  }
  for (int k = 1; k < 8; k++) {
    for (int i = 0; i < 256; i++) {
      uint32_t prev = s.t[k - 1][i];
      s.t[k][i] = (prev >> 8) ^ s.t[0][prev & 0xFF];
    }
  }
  return s;
}

// The tables, built on the first call.
const CrcSliceTables& crcSliceTables();

}  // namespace extractor
