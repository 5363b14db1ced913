#include "platform/posix/native_path.h"

#include <cstdint>

namespace extractor::platform {
namespace {

constexpr uint32_t kReplacement = 0xFFFD;

bool isHighSurrogate(char16_t c) {
  return c >= 0xD800 && c < 0xDC00;
}

bool isLowSurrogate(char16_t c) {
  return c >= 0xDC00 && c < 0xE000;
}

void appendUtf8(std::string& out, uint32_t codePoint) {
  if (codePoint < 0x80) {
    out += static_cast<char>(codePoint);
  } else if (codePoint < 0x800) {
    out += static_cast<char>(0xC0 | codePoint >> 6);
    out += static_cast<char>(0x80 | (codePoint & 0x3F));
  } else if (codePoint < 0x10000) {
    out += static_cast<char>(0xE0 | codePoint >> 12);
    out += static_cast<char>(0x80 | (codePoint >> 6 & 0x3F));
    out += static_cast<char>(0x80 | (codePoint & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | codePoint >> 18);
    out += static_cast<char>(0x80 | (codePoint >> 12 & 0x3F));
    out += static_cast<char>(0x80 | (codePoint >> 6 & 0x3F));
    out += static_cast<char>(0x80 | (codePoint & 0x3F));
  }
}

}  // namespace

std::string nativePath(const std::u16string& path) {
  std::string out;
  out.reserve(path.size());
  for (size_t i = 0; i < path.size(); i++) {
    char16_t c = path[i];
    if (c == u'\\') {
      out += '/';
    } else if (isHighSurrogate(c) && i + 1 < path.size() && isLowSurrogate(path[i + 1])) {
      appendUtf8(out, 0x10000 + ((uint32_t{c} - 0xD800) << 10) + (path[i + 1] - 0xDC00u));
      i++;
    } else if (isHighSurrogate(c) || isLowSurrogate(c)) {
      appendUtf8(out, kReplacement);
    } else {
      appendUtf8(out, c);
    }
  }
  return out;
}

}  // namespace extractor::platform
