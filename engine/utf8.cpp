#include "engine/utf8.h"

#include <cstdint>

namespace extractor {
namespace {

constexpr char16_t kReplacement = 0xFFFD;

void appendCodePoint(std::u16string& out, uint32_t cp) {
  if (cp < 0x10000) {
    out += static_cast<char16_t>(cp);
  } else {
    cp -= 0x10000;
    out += static_cast<char16_t>(0xD800 + (cp >> 10));
    out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
  }
}

void appendUtf8(std::string& out, uint32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | cp >> 6);
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | cp >> 12);
    out += static_cast<char>(0x80 | (cp >> 6 & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | cp >> 18);
    out += static_cast<char>(0x80 | (cp >> 12 & 0x3F));
    out += static_cast<char>(0x80 | (cp >> 6 & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

bool isHighSurrogate(char16_t c) {
  return c >= 0xD800 && c < 0xDC00;
}

bool isLowSurrogate(char16_t c) {
  return c >= 0xDC00 && c < 0xE000;
}

// The length of the well-formed sequence at raw[i] and its code point, or 0
// when no sequence starts there.
size_t sequenceAt(std::string_view raw, size_t i, uint32_t& cp) {
  auto b = static_cast<uint8_t>(raw[i]);
  if (b < 0x80) {
    cp = b;
    return 1;
  }
  int extra = b >= 0xC2 && b < 0xE0 ? 1 : b >= 0xE0 && b < 0xF0 ? 2 : b >= 0xF0 && b < 0xF5 ? 3 : 0;
  if (extra == 0 || i + static_cast<size_t>(extra) >= raw.size()) return 0;
  cp = b & (0x3F >> extra);
  for (int k = 1; k <= extra; k++) {
    auto c = static_cast<uint8_t>(raw[i + static_cast<size_t>(k)]);
    if ((c & 0xC0) != 0x80) return 0;
    cp = cp << 6 | (c & 0x3F);
  }
  static constexpr uint32_t kMin[4] = {0, 0x80, 0x800, 0x10000};
  if (cp < kMin[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp < 0xE000)) return 0;
  return static_cast<size_t>(extra) + 1;
}

}  // namespace

std::u16string decodeUtf8(std::string_view raw) {
  std::u16string out;
  out.reserve(raw.size());
  size_t i = 0;
  while (i < raw.size()) {
    uint32_t cp = 0;
    size_t length = sequenceAt(raw, i, cp);
    if (length == 0) {
      out += kReplacement;
      i++;
      continue;
    }
    appendCodePoint(out, cp);
    i += length;
  }
  return out;
}

bool isUtf8Text(std::string_view raw) {
  bool beyondAscii = false;
  for (size_t i = 0; i < raw.size();) {
    uint32_t cp = 0;
    size_t length = sequenceAt(raw, i, cp);
    if (length == 0) return false;
    beyondAscii = beyondAscii || length > 1;
    i += length;
  }
  return beyondAscii;
}

std::string encodeUtf8(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); i++) {
    char16_t c = text[i];
    if (isHighSurrogate(c) && i + 1 < text.size() && isLowSurrogate(text[i + 1])) {
      uint32_t cp = 0x10000 + ((uint32_t{c} - 0xD800) << 10) + (text[i + 1] - 0xDC00u);
      appendUtf8(out, cp);
      i++;
    } else if (isHighSurrogate(c) || isLowSurrogate(c)) {
      appendUtf8(out, kReplacement);
    } else {
      appendUtf8(out, c);
    }
  }
  return out;
}

}  // namespace extractor
