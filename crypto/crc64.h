#pragma once

// CRC-64 of ECMA-182 in its reflected form (polynomial 0xC96C5795D7870F42,
// initial value and final XOR all ones), as the .xz format checks blocks
// with.

#include <cstddef>
#include <cstdint>

namespace extractor {

// Continues a CRC-64 over length bytes; a new value starts from 0.
uint64_t crc64Update(uint64_t crc, const uint8_t* data, size_t length);

}  // namespace extractor
