#pragma once

// The paths behind crc64Update, exposed so that tests can compare them.
// They work on the raw register: the caller inverts it before and after.

#include <cstddef>
#include <cstdint>

namespace extractor {

uint64_t crc64Slice8(uint64_t reg, const uint8_t* data, size_t length);

// True when the CPU can run crc64Clmul.
bool crc64ClmulAvailable();
uint64_t crc64Clmul(uint64_t reg, const uint8_t* data, size_t length);

}  // namespace extractor
