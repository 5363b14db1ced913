#include "platform/win32/extended_path.h"

#include <windows.h>

namespace extractor::platform {
namespace {

// "\\?\" names go to the file system unparsed; "\\.\" names a device.
bool isPrefixed(const char16_t* path) {
  return path[0] == u'\\' && path[1] == u'\\' && (path[2] == u'?' || path[2] == u'.') &&
         path[3] == u'\\';
}

}  // namespace

std::u16string extendedPath(const std::u16string& path, const char16_t* suffix) {
  auto given = reinterpret_cast<LPCWSTR>(path.c_str());
  DWORD needed =
      path.empty() || isPrefixed(path.c_str()) ? 0 : GetFullPathNameW(given, 0, nullptr, nullptr);
  size_t suffixLength = std::char_traits<char16_t>::length(suffix);
  // The full path goes behind room for the longest prefix, "\\?\UNC".
  constexpr size_t kRoom = 7;
  std::u16string extended(kRoom + needed + path.size() + suffixLength, u'\0');
  char16_t* full = &extended[kRoom];
  DWORD length =
      needed ? GetFullPathNameW(given, needed, reinterpret_cast<LPWSTR>(full), nullptr) : 0;
  const char16_t* prefix = u"\\\\?\\";
  size_t start = kRoom - 4;
  if (length == 0 || length >= needed) {
    // Kept as given: already in that form, or not to be made absolute.
    length = static_cast<DWORD>(path.size());
    path.copy(full, length);
    prefix = u"";
    start = kRoom;
  } else if (isPrefixed(full)) {
    prefix = u"";
    start = kRoom;
  } else if (full[0] == u'\\' && full[1] == u'\\') {
    // "\\server\share" becomes "\\?\UNC\server\share": the prefix takes the
    // place of the first "\".
    prefix = u"\\\\?\\UNC";
    start = kRoom + 1 - 7;
  }
  for (size_t i = start; *prefix; i++) extended[i] = *prefix++;
  for (size_t i = 0; i < suffixLength; i++) full[length + i] = suffix[i];
  return std::u16string(&extended[start], kRoom + length + suffixLength - start);
}

}  // namespace extractor::platform
