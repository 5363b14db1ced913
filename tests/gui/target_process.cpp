#include "target_process.h"

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace extractor::test {
namespace {

const UINT kSendTimeoutMs = 5000;

// The driver's own environment with the changes applied, as the
// NUL-separated block CreateProcess takes.
std::vector<char> environmentBlock(const LaunchOptions& options) {
  std::map<std::string, std::string> variables;
  char* own = GetEnvironmentStringsA();
  for (const char* entry = own; *entry; entry += std::strlen(entry) + 1) {
    const char* equals = std::strchr(entry + 1, '=');  // names like "=C:" start with '='
    if (!equals) continue;
    variables[std::string(entry, equals)] = equals + 1;
  }
  FreeEnvironmentStringsA(own);
  for (const auto& [name, value] : options.environment) {
    for (auto it = variables.begin(); it != variables.end();) {
      it = _stricmp(it->first.c_str(), name.c_str()) == 0 ? variables.erase(it) : std::next(it);
    }
    if (value) variables[name] = *value;
  }
  std::vector<char> block;
  for (const auto& [name, value] : variables) {
    std::string entry = name + "=" + value;
    block.insert(block.end(), entry.begin(), entry.end());
    block.push_back('\0');
  }
  block.push_back('\0');
  return block;
}

struct WindowSearch {
  DWORD processId;
  const std::string* className;
  const std::optional<std::string>* caption;
  HWND found;
};

BOOL CALLBACK matchTopLevel(HWND window, LPARAM parameter) {
  auto* search = reinterpret_cast<WindowSearch*>(parameter);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (owner != search->processId || !IsWindowVisible(window)) return TRUE;
  if (!search->className->empty() && className(window) != *search->className) return TRUE;
  if (*search->caption && windowText(window) != **search->caption) return TRUE;
  search->found = window;
  return FALSE;
}

struct ChildSearch {
  HWND parent;
  std::string className;
  int wanted;
  int seen;
  HWND found;
};

BOOL CALLBACK matchChild(HWND window, LPARAM parameter) {
  auto* search = reinterpret_cast<ChildSearch*>(parameter);
  if (GetParent(window) != search->parent) return TRUE;
  // Class names are compared as the system does, without regard to case.
  if (_stricmp(className(window).c_str(), search->className.c_str()) != 0) return TRUE;
  if (++search->seen < search->wanted) return TRUE;
  search->found = window;
  return FALSE;
}

}  // namespace

TargetProcess::~TargetProcess() {
  terminate();
}

bool TargetProcess::start(const std::string& commandLine, const LaunchOptions& options) {
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  if (options.showCommand) {
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = *options.showCommand;
  }
  std::vector<char> environment = environmentBlock(options);
  std::vector<char> line(commandLine.begin(), commandLine.end());
  line.push_back('\0');
  return CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, environment.data(),
                        nullptr, &startup, &process_) != 0;
}

bool TargetProcess::running() const {
  return process_.hProcess && WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT;
}

std::optional<DWORD> TargetProcess::waitForExit(DWORD timeoutMs) {
  if (!process_.hProcess || WaitForSingleObject(process_.hProcess, timeoutMs) != WAIT_OBJECT_0) {
    return std::nullopt;
  }
  DWORD code = 0;
  GetExitCodeProcess(process_.hProcess, &code);
  return code;
}

void TargetProcess::terminate() {
  if (!process_.hProcess) return;
  if (running()) {
    TerminateProcess(process_.hProcess, 99);
    WaitForSingleObject(process_.hProcess, 5000);
  }
  CloseHandle(process_.hProcess);
  CloseHandle(process_.hThread);
  process_ = {};
}

HWND TargetProcess::findWindow(const std::string& className,
                               const std::optional<std::string>& caption) const {
  WindowSearch search{process_.dwProcessId, &className, &caption, nullptr};
  EnumWindows(matchTopLevel, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

HWND findControl(HWND parent, const std::string& reference) {
  size_t hash = reference.find('#');
  if (hash == std::string::npos) {
    return GetDlgItem(parent, std::atoi(reference.c_str()));
  }
  ChildSearch search{parent, reference.substr(0, hash), std::atoi(reference.c_str() + hash + 1), 0,
                     nullptr};
  EnumChildWindows(parent, matchChild, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

std::optional<LRESULT> sendWithTimeout(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  DWORD_PTR result = 0;
  if (!SendMessageTimeoutA(window, message, wParam, lParam, SMTO_ABORTIFHUNG, kSendTimeoutMs,
                           &result)) {
    return std::nullopt;
  }
  return static_cast<LRESULT>(result);
}

std::optional<std::string> windowText(HWND window) {
  char text[4096];
  auto length = sendWithTimeout(window, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text));
  if (!length) return std::nullopt;
  return std::string(text, static_cast<size_t>(*length));
}

// The script's UTF-8 goes as UTF-16, as a user's typing arrives: the
// system converts it for a control that keeps ANSI text.
bool setWindowText(HWND window, const std::string& text) {
  int size = MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, nullptr, 0);
  std::wstring wide(static_cast<size_t>(size > 0 ? size : 1), L'\0');
  if (size > 0) MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, wide.data(), size);
  DWORD_PTR result = 0;
  return SendMessageTimeoutW(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(wide.c_str()),
                             SMTO_ABORTIFHUNG, kSendTimeoutMs, &result) != 0;
}

std::string className(HWND window) {
  char name[256];
  int length = GetClassNameA(window, name, sizeof name);
  return std::string(name, length > 0 ? length : 0);
}

}  // namespace extractor::test
