#include "platform/text.h"

#include "platform/posix/cp1252.h"

namespace extractor::platform {

std::string wideToAnsi(std::u16string_view text, Unmappable) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); i++) {
    char16_t c = text[i];
    // A surrogate pair is one character, and so one "?".
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] < 0xE000) {
      i++;
    }
    int b = wideToCp1252(c);
    out += b < 0 ? '?' : static_cast<char>(b);
  }
  return out;
}

std::u16string ansiToWide(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  for (char b : text) out += cp1252ToWide(static_cast<uint8_t>(b));
  return out;
}

}  // namespace extractor::platform
