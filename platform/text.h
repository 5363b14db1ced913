// Conversions between the engine's UTF-16 text and the 8-bit text of the
// ANSI code page, which is what paths, entry names and password bytes are.
#pragma once

#include <string>
#include <string_view>

namespace extractor::platform {

enum class Unmappable {
  Question,       // characters without an ANSI form become "?"
  SystemDefault,  // the system's own default character
};

std::string wideToAnsi(std::u16string_view text, Unmappable unmappable);
std::u16string ansiToWide(std::string_view text);

}  // namespace extractor::platform
