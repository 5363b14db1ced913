#include "engine/entry_name.h"

#include "platform/text.h"

namespace extractor {
namespace {

constexpr uint16_t kUtf8Flag = 1 << 11;
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

// Malformed sequences become U+FFFD, one per byte that starts no valid
// sequence, so a bad name still extracts under some name.
std::u16string decodeUtf8(std::string_view raw) {
  std::u16string out;
  out.reserve(raw.size());
  size_t i = 0;
  while (i < raw.size()) {
    auto b = static_cast<uint8_t>(raw[i]);
    if (b < 0x80) {
      out += static_cast<char16_t>(b);
      i++;
      continue;
    }
    int extra = b >= 0xC2 && b < 0xE0   ? 1
                : b >= 0xE0 && b < 0xF0 ? 2
                : b >= 0xF0 && b < 0xF5 ? 3
                                        : 0;
    if (extra == 0 || i + static_cast<size_t>(extra) >= raw.size()) {
      out += kReplacement;
      i++;
      continue;
    }
    uint32_t cp = b & (0x3F >> extra);
    bool ok = true;
    for (int k = 1; k <= extra; k++) {
      auto c = static_cast<uint8_t>(raw[i + static_cast<size_t>(k)]);
      if ((c & 0xC0) != 0x80) ok = false;
      cp = cp << 6 | (c & 0x3F);
    }
    static constexpr uint32_t kMin[4] = {0, 0x80, 0x800, 0x10000};
    if (!ok || cp < kMin[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp < 0xE000)) {
      out += kReplacement;
      i++;
      continue;
    }
    appendCodePoint(out, cp);
    i += static_cast<size_t>(extra) + 1;
  }
  return out;
}

}  // namespace

std::u16string DecodeEntryName(std::string_view raw, uint16_t flags) {
  if (flags & kUtf8Flag) return decodeUtf8(raw);
  return platform::ansiToWide(raw);
}

void SplitEntryName(const std::u16string& name, std::u16string& directoryName,
                    std::u16string& fileName) {
  size_t cut = name.find_last_of(u"\\/");
  size_t fileStart = cut == std::u16string::npos ? 0 : cut + 1;
  size_t skip = name.size() >= 3 && name[1] == u':' && name[2] == u'\\' ? 3 : 0;
  fileName = name.substr(fileStart);
  directoryName = fileStart > skip ? name.substr(skip, fileStart - skip) : std::u16string();
}

}  // namespace extractor
