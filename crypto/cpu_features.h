#pragma once

// Run-time checks for the x86 instructions the fast paths use. Both are false
// on other architectures.

namespace extractor {

bool cpuHasPclmul();
bool cpuHasAesNi();

}  // namespace extractor
