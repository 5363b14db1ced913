#pragma once

// The two compression paths behind sha1Blocks, exposed so that tests can
// check that they agree.

#include <cstddef>
#include <cstdint>

namespace extractor {

void sha1BlocksPortable(uint32_t state[5], const uint8_t* data, size_t blocks);

// True when the CPU has the SHA extensions sha1BlocksShaNi uses.
bool sha1ShaNiAvailable();
void sha1BlocksShaNi(uint32_t state[5], const uint8_t* data, size_t blocks);

}  // namespace extractor
