#pragma once

// The two implementations behind the block functions of aes.h, exposed so
// that tests can check that they agree. Each processes whole blocks; in and
// out may be the same buffer.

#include <cstddef>
#include <cstdint>

#include "crypto/aes.h"

namespace extractor {

void decryptBlocksTable(const AesKey& key, const uint8_t* in, uint8_t* out, size_t blocks);
void encryptBlocksTable(const AesKey& key, const uint8_t* in, uint8_t* out, size_t blocks);

// True when the CPU has the AES instructions the functions below use.
bool aesNiAvailable();
void decryptBlocksAesNi(const AesKey& key, const uint8_t* in, uint8_t* out, size_t blocks);
void encryptBlocksAesNi(const AesKey& key, const uint8_t* in, uint8_t* out, size_t blocks);

// The faster of the two for this CPU.
void decryptBlocks(const AesKey& key, const uint8_t* in, uint8_t* out, size_t blocks);
void encryptBlocks(const AesKey& key, const uint8_t* in, uint8_t* out, size_t blocks);

}  // namespace extractor
