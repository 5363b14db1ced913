#include "platform/text.h"

#include <windows.h>

namespace extractor::platform {

std::string wideToAnsi(std::u16string_view text, Unmappable unmappable) {
  if (text.empty()) return {};
  auto src = reinterpret_cast<const wchar_t*>(text.data());
  int n = static_cast<int>(text.size());
  const char* fallback = unmappable == Unmappable::Question ? "?" : nullptr;
  int size = WideCharToMultiByte(CP_ACP, 0, src, n, nullptr, 0, fallback, nullptr);
  std::string out(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(CP_ACP, 0, src, n, out.data(), size, fallback, nullptr);
  return out;
}

std::u16string ansiToWide(std::string_view text) {
  if (text.empty()) return {};
  int n = static_cast<int>(text.size());
  int size = MultiByteToWideChar(CP_ACP, 0, text.data(), n, nullptr, 0);
  std::u16string out(static_cast<size_t>(size), u'\0');
  MultiByteToWideChar(CP_ACP, 0, text.data(), n, reinterpret_cast<wchar_t*>(out.data()), size);
  return out;
}

}  // namespace extractor::platform
