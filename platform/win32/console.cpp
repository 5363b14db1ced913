#include "platform/console.h"

#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

#include <cstdio>

#include "platform/file.h"
#include "platform/win32/failure_code.h"

namespace extractor::platform {
namespace {

constexpr int kInterruptStatus = 130;  // as a shell reports SIGINT
constexpr int kHangupStatus = 129;     // SIGHUP
// The system ends a process this long after its console closed.
constexpr DWORD kCloseGraceMs = 4500;

std::atomic<std::atomic<int32_t>*> interruptFlag{nullptr};
std::atomic<int> caughtStatus{0};

// Runs on a thread of its own. Returning ends a console's close (the
// system then ends the process), so a close waits here while the run
// removes its entry and the program exits.
BOOL WINAPI onConsoleEvent(DWORD event) {
  std::atomic<int32_t>* flag = interruptFlag.load();
  if (flag == nullptr) return FALSE;  // no run: the system's own handling
  const bool interrupt = event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT;
  if (caughtStatus.exchange(interrupt ? kInterruptStatus : kHangupStatus) != 0 && interrupt) {
    return FALSE;  // a second Ctrl-C: the system's own handling ends the program
  }
  flag->store(-1);
  if (!interrupt) Sleep(kCloseGraceMs);
  return TRUE;
}

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

void catchInterrupts(std::atomic<int32_t>* abortFlag) {
  // Added once and never removed: removing a handler waits for a running
  // one, and a close's handler waits for the run to end.
  static const BOOL added = SetConsoleCtrlHandler(onConsoleEvent, TRUE);
  (void)added;
  interruptFlag.store(abortFlag);
}

int interruptStatus() {
  return caughtStatus;
}

std::string lastFileFailureText() {
  DWORD code = lastFailureCode();
  if (code == 0) return {};
  wchar_t* text = nullptr;
  DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  // The system's sentences end in ".\r\n".
  while (length > 0 && (text[length - 1] == L'\n' || text[length - 1] == L'\r' ||
                        text[length - 1] == L'.' || text[length - 1] == L' ')) {
    length--;
  }
  std::string out = toUtf8(text, static_cast<int>(length));
  LocalFree(text);
  return out;
}

}  // namespace extractor::platform
