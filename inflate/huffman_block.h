// Decoding of the symbols of a fixed or dynamic Huffman block.
#pragma once

#include "inflate/huffman_table.h"
#include "inflate/step.h"

namespace extractor {

// Both decode until the block ends or the budget of the call is used up.
// Fixed blocks go on while the byte position is below limit - 5 (unless
// the input is complete) and the output below limit; dynamic blocks while
// the output is below limit - 1024. The budget is tested before each
// symbol.
// Chooses the build of the fast loop: the BMI2 one when allowed and the
// processor has it. Returns whether that one is used.
bool selectFastLoop(bool allowBmi2 = true);

Outcome decodeFixedBlock(StepContext& c);
Outcome decodeDynamicBlock(StepContext& c, const LitLenTable& litLen, const DistTable& dist);

}  // namespace extractor
