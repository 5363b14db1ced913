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

// Counter mode: XOR the encryption of the little-endian counter blocks
// counter, counter + 1, ... into blocks whole blocks of data.
void ctrXorTable(const AesKey& key, uint64_t counter, uint8_t* data, size_t blocks);
void ctrXorAesNi(const AesKey& key, uint64_t counter, uint8_t* data, size_t blocks);
// Where the CPU has VAES and AVX2 (and not in the Windows build).
bool ctrVaesAvailable();
void ctrXorVaes(const AesKey& key, uint64_t counter, uint8_t* data, size_t blocks);

// The faster of the two for this CPU.
void decryptBlocks(const AesKey& key, const uint8_t* in, uint8_t* out, size_t blocks);
void encryptBlocks(const AesKey& key, const uint8_t* in, uint8_t* out, size_t blocks);
void ctrXor(const AesKey& key, uint64_t counter, uint8_t* data, size_t blocks);

}  // namespace extractor
