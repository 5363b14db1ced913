// The code lengths at the start of a dynamic Huffman block.
#pragma once

#include "inflate/huffman_table.h"
#include "inflate/inflate.h"
#include "inflate/step.h"

namespace extractor {

// Reads HLIT, HDIST, HCLEN and the code lengths that follow, and builds the
// block's decode tables for the format. kStop when the input ends inside
// the header, with the tables then undefined.
Outcome readDynamicHeader(BitInput& in, InflateFormat format, LitLenTable& litLen, DistTable& dist);

}  // namespace extractor
