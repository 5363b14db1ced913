#pragma once

#include <cstdint>

namespace extractor {

// The byte table of the reflected CRC-32 polynomial 0xEDB88320. It stays all
// zero until buildCrcTable runs; the traditional cipher reads it directly.
// The lazy build takes no lock: a program that uses the traditional cipher or
// crc32UpdateBytewise on several threads calls buildCrcTable first.
extern uint32_t crcTable[256];

void buildCrcTable();

// Continues a CRC-32 over length bytes; a new value starts from 0. A length of
// 0 or less returns crc unchanged. Chooses the fastest path the CPU supports.
uint32_t crc32Update(uint32_t crc, const uint8_t* data, int32_t length);

// The byte-at-a-time loop over crcTable: the reference the fast paths match.
uint32_t crc32UpdateBytewise(uint32_t crc, const uint8_t* data, int32_t length);

}  // namespace extractor
