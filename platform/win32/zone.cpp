#include "platform/zone.h"

#include <windows.h>

#include "platform/win32/extended_path.h"

namespace extractor::platform {
namespace {

constexpr DWORD kMostRead = 64 * 1024;

// Kept as UTF-16 text, which the wide-character calls take as it is.
std::u16string streamPath(const std::u16string& path) {
  return extendedPath(path, u":Zone.Identifier");
}

LPCWSTR wide(const std::u16string& path) {
  return reinterpret_cast<LPCWSTR>(path.c_str());
}

}  // namespace

std::string readZoneIdentifier(const std::u16string& path) {
  HANDLE h = CreateFileW(wide(streamPath(path)), GENERIC_READ, FILE_SHARE_READ, nullptr,
                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return {};
  std::string text(kMostRead, '\0');
  DWORD got = 0;
  if (!ReadFile(h, text.data(), kMostRead, &got, nullptr)) got = 0;
  CloseHandle(h);
  text.resize(got);
  return text;
}

bool writeZoneIdentifier(const std::u16string& path, const std::string& text) {
  HANDLE h = CreateFileW(wide(streamPath(path)), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  DWORD put = 0;
  BOOL ok = WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &put, nullptr);
  CloseHandle(h);
  return ok && put == text.size();
}

}  // namespace extractor::platform
