#include "platform/console.h"

#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

#include <cstdio>

namespace extractor::platform {
namespace {

std::string toUtf8(const wchar_t* text, int length) {
  if (length == 0) return {};
  int size = WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, length, out.data(), size, nullptr, nullptr);
  return out;
}

}  // namespace

std::vector<std::string> commandLineArguments(int, char**) {
  int count = 0;
  wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
  std::vector<std::string> args;
  if (wide == nullptr) return args;
  for (int i = 1; i < count; i++) args.push_back(toUtf8(wide[i], lstrlenW(wide[i])));
  LocalFree(wide);
  return args;
}

void useUtf8Output() {
  SetConsoleOutputCP(CP_UTF8);
}

bool stdinIsTerminal() {
  DWORD mode;
  return GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &mode) != 0;
}

std::optional<std::string> readPassword(const std::string& prompt) {
  HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
  DWORD saved = 0;
  if (GetConsoleMode(input, &saved) == 0) return std::nullopt;
  SetConsoleMode(input, (saved | ENABLE_LINE_INPUT) & ~static_cast<DWORD>(ENABLE_ECHO_INPUT));
  std::fputs(prompt.c_str(), stderr);
  std::fflush(stderr);
  std::wstring line;
  bool ended = false;
  wchar_t c;
  DWORD got = 0;
  while (ReadConsoleW(input, &c, 1, &got, nullptr) && got == 1) {
    if (c == L'\n') {
      ended = true;
      break;
    }
    if (c != L'\r') line += c;
  }
  SetConsoleMode(input, saved);
  std::fputs("\n", stderr);
  if (!ended && line.empty()) return std::nullopt;
  return toUtf8(line.data(), static_cast<int>(line.size()));
}

}  // namespace extractor::platform
