#include "platform/host.h"

#include <windows.h>
// After windows.h, which bcrypt.h builds on.
#include <bcrypt.h>

namespace extractor::platform {
namespace {

std::wstring widen(const std::string& utf8) {
  if (utf8.empty()) return {};
  int n = static_cast<int>(utf8.size());
  int size = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), n, nullptr, 0);
  std::wstring out(static_cast<size_t>(size), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), n, out.data(), size);
  return out;
}

std::string narrow(const wchar_t* text, int length) {
  if (length <= 0) return {};
  int size = WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, length, out.data(), size, nullptr, nullptr);
  return out;
}

}  // namespace

std::optional<LocalTime> lastWriteLocalTime(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(widen(path).c_str(), GetFileExInfoStandard, &data)) {
    return std::nullopt;
  }
  FILETIME local;
  SYSTEMTIME fields;
  if (!FileTimeToLocalFileTime(&data.ftLastWriteTime, &local) ||
      !FileTimeToSystemTime(&local, &fields)) {
    return std::nullopt;
  }
  return LocalTime{fields.wYear, fields.wMonth,  fields.wDay,
                   fields.wHour, fields.wMinute, fields.wSecond};
}

std::string executablePath() {
  wchar_t buffer[32768];
  DWORD length = GetModuleFileNameW(nullptr, buffer, 32768);
  if (length == 0 || length >= 32768) return {};
  return narrow(buffer, static_cast<int>(length));
}

bool fillRandom(uint8_t* out, size_t size) {
  while (size > 0) {
    ULONG part = size > 0x10000000 ? 0x10000000 : static_cast<ULONG>(size);
    if (BCryptGenRandom(nullptr, out, part, BCRYPT_USE_SYSTEM_PREFERRED_RNG) != 0) return false;
    out += part;
    size -= part;
  }
  return true;
}

}  // namespace extractor::platform
