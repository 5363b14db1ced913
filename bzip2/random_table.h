#pragma once

#include <cstdint>

namespace extractor::bzip2 {

extern const uint16_t kRandomGaps[512];

}  // namespace extractor::bzip2
