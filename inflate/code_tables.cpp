#include "inflate/code_tables.h"

#include "inflate/fixed_code.h"
#include "inflate/huffman_block.h"

namespace extractor {

uint32_t lengthBase[288];
uint32_t lengthExtra[288];
uint32_t distBase[32];
uint32_t distExtra[32];

LitLenTable fixedLitLen;
DistTable fixedDist;
LitLenTable fixedLitLen64;
DistTable fixedDist64;

namespace {

void buildFixedTables() {
  uint8_t lengths[288];
  for (unsigned s = 0; s < 288; ++s) lengths[s] = s < 144 ? 8 : s < 256 ? 9 : s < 280 ? 7 : 8;
  buildDecodeTable(lengths, 288, Alphabet::kLitLen, kLitLenTableBits, fixedLitLen.entries,
                   fixedLitLen.code);
  buildDecodeTable(lengths, 288, Alphabet::kDeflate64LitLen, kLitLenTableBits,
                   fixedLitLen64.entries, fixedLitLen64.code);
  for (unsigned s = 0; s < 32; ++s) lengths[s] = 5;
  buildDecodeTable(lengths, 32, Alphabet::kDist, kDistTableBits, fixedDist.entries, fixedDist.code);
  buildDecodeTable(lengths, 32, Alphabet::kDeflate64Dist, kDistTableBits, fixedDist64.entries,
                   fixedDist64.code);
}

}  // namespace

void buildInflateTables() {
  for (unsigned s = 257; s <= 264; ++s) {
    lengthBase[s] = s - 254;
    lengthExtra[s] = 0;
  }
  for (unsigned e = 1; e <= 5; ++e) {
    for (unsigned k = 0; k < 4; ++k) {
      lengthBase[261 + 4 * e + k] = ((4 + k) << e) + 3;
      lengthExtra[261 + 4 * e + k] = e;
    }
  }
  lengthBase[285] = 258;
  lengthExtra[285] = 0;

  for (unsigned c = 0; c < 4; ++c) {
    distBase[c] = c + 1;
    distExtra[c] = 0;
  }
  for (unsigned e = 1; e <= 14; ++e) {
    distBase[2 * e + 2] = (2u << e) + 1;
    distBase[2 * e + 3] = (3u << e) + 1;
    distExtra[2 * e + 2] = distExtra[2 * e + 3] = e;
  }
  buildFixedTables();
  selectFastLoop();
}

}  // namespace extractor
