// Decode tables of the fixed Huffman code (RFC 1951 section 3.2.6), built
// by buildInflateTables.
#pragma once

#include "inflate/huffman_table.h"

namespace extractor {

extern LitLenTable fixedLitLen;
extern DistTable fixedDist;
extern LitLenTable fixedLitLen64;
extern DistTable fixedDist64;

}  // namespace extractor
