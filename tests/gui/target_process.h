// The program under test as the driver sees it: started with a chosen
// environment, command line and show command, its top-level windows found by
// class and caption, and controls read and driven through messages. Reads
// use SendMessageTimeout, clicks are posted, so a hung or modal program never
// blocks the driver.
#pragma once

#include <windows.h>

#include <map>
#include <optional>
#include <string>

namespace extractor::test {

struct LaunchOptions {
  std::map<std::string, std::optional<std::string>> environment;  // none: removed
  std::optional<WORD> showCommand;  // with STARTF_USESHOWWINDOW when set
};

class TargetProcess {
 public:
  ~TargetProcess();

  // commandLine is handed to CreateProcess as it is. False when it fails.
  bool start(const std::string& commandLine, const LaunchOptions& options);
  bool running() const;
  // The exit code, or none when the process has not ended within timeoutMs.
  std::optional<DWORD> waitForExit(DWORD timeoutMs);
  DWORD id() const { return process_.dwProcessId; }
  void terminate();

  // A visible top-level window of the process with this class (any when
  // empty) and caption (any when caption is none); null when there is none.
  HWND findWindow(const std::string& className, const std::optional<std::string>& caption) const;

 private:
  PROCESS_INFORMATION process_{};
};

// A control of parent: "123" is the child with that id, "CLASS#N" the Nth
// child of that class (from 1, in creation order). Null when there is none.
HWND findControl(HWND parent, const std::string& reference);

std::optional<std::string> windowText(HWND window);
bool setWindowText(HWND window, const std::string& text);
std::string className(HWND window);
std::optional<LRESULT> sendWithTimeout(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

}  // namespace extractor::test
