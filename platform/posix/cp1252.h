// Windows-1252 stands for the ANSI code page on Linux, so that both
// platforms key the same password bytes and map the same characters to "?".
#pragma once

#include <cstdint>

namespace extractor::platform {

// The character of one byte; bytes that 1252 leaves undefined map to the
// control character of the same value, as Windows does.
char16_t cp1252ToWide(uint8_t byte);

// The byte of one character, or -1 when 1252 has no form for it.
int wideToCp1252(char16_t c);

}  // namespace extractor::platform
