#pragma once

// Run-time checks for the x86 instructions the fast paths use. Both are false
// on other architectures.

namespace extractor {

bool cpuHasPclmul();
// VPCLMULQDQ on 256-bit registers needs AVX2 as well.
bool cpuHasVpclmulAvx2();
bool cpuHasAesNi();
// The SHA extensions, with the SSSE3 and SSE4.1 their users also need.
bool cpuHasShaNi();
// VAES on 256-bit registers, with the AVX2 its users also need.
bool cpuHasVaesAvx2();

}  // namespace extractor
