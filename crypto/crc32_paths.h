#pragma once

// The fast CRC-32 paths behind crc32Update, exposed so that tests can compare
// each of them with the bytewise reference. They work on the raw register:
// the caller inverts it before and after.

#include <cstddef>
#include <cstdint>

namespace extractor {

uint32_t crc32Slice8(uint32_t reg, const uint8_t* data, size_t length);

// True when the CPU can run crc32Clmul.
bool crc32ClmulAvailable();
uint32_t crc32Clmul(uint32_t reg, const uint8_t* data, size_t length);

// The same on 256-bit registers, where the CPU has VPCLMULQDQ and AVX2.
bool crc32VpclmulAvailable();
uint32_t crc32Vpclmul(uint32_t reg, const uint8_t* data, size_t length);

}  // namespace extractor
