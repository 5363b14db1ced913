// Encrypted entries for tests, made with the engine's own encrypting side.
#pragma once

#include <cstdint>
#include <string>

#include "zip_builder.h"

namespace extractor::test {

// Encrypts the entry's data in place the traditional way. With checkTime,
// the header's check byte is the DOS time's high byte, as streaming writers
// make it (and flag bit 3 is set).
void encryptTraditional(BuiltEntry& entry, const std::string& password, bool checkTime = false);

// Encrypts the entry's data with AES of the given kind and puts kind and
// verification block at the start of its central extra field.
void encryptAes(BuiltEntry& entry, const std::string& password, int32_t kind);

// Turns the entry into a WinZip AES one of strength 1 to 3 and vendor
// version 1 or 2: salt, verifier, ciphertext and code as its data, method 99
// with the real method in extra field 0x9901 of both headers, and for
// version 2 a CRC-32 of 0. password is the bytes keyed (UTF-8 as writers
// make them).
void encryptWinZipAes(BuiltEntry& entry, const std::string& password, int strength,
                      int version = 2);

}  // namespace extractor::test
