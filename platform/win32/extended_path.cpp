#include "platform/win32/extended_path.h"

#include <windows.h>

namespace extractor::platform {
namespace {

bool startsWith(const std::wstring& text, const wchar_t* prefix) {
  return text.compare(0, wcslen(prefix), prefix) == 0;
}

}  // namespace

std::wstring extendedPath(const std::u16string& path) {
  std::wstring given(path.begin(), path.end());
  // "\\?\" names go to the file system unparsed; "\\.\" names a device.
  if (given.empty() || startsWith(given, L"\\\\?\\") || startsWith(given, L"\\\\.\\")) {
    return given;
  }
  DWORD needed = GetFullPathNameW(given.c_str(), 0, nullptr, nullptr);
  if (needed == 0) return given;
  std::wstring full(needed, L'\0');
  DWORD length = GetFullPathNameW(given.c_str(), needed, full.data(), nullptr);
  if (length == 0 || length >= needed) return given;
  full.resize(length);
  if (startsWith(full, L"\\\\?\\") || startsWith(full, L"\\\\.\\")) return full;
  if (startsWith(full, L"\\\\")) return L"\\\\?\\UNC\\" + full.substr(2);
  return L"\\\\?\\" + full;
}

}  // namespace extractor::platform
