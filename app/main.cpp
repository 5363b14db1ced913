// The process entry of extractor.exe: the one window, its message loop, and
// the end of a run still going when the window has closed.
#include <windows.h>

#include "app/installer.h"
#include "app/main_window.h"
#include "app/resource_ids.h"
#include "app/shell.h"
#include "app/shell_window.h"
#include "app/system_libraries.h"
#include "app/worker.h"

namespace extractor::app {

ShellState shell;
Zip zip;

namespace {

ShellWindow shellWindow;

// The command-line tail is read by the installer mode only (installer.cpp).
int mainRoutine(HINSTANCE instance, const wchar_t* /*commandLineTail*/, int showCommand) {
  shell.instance = instance;
  shell.userInterfaceThread = GetCurrentThreadId();
  zip.window = &shellWindow;
  LoadStringW(instance, IDS_TITLE_PREFIX, shell.title, kTitleCapacity);
  LoadStringW(instance, IDS_CLASS_NAME, shell.className, kTitleCapacity);
  RegisterMainClass();
  if (!CreateMainWindow(instance, showCommand)) return 0;

  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    // Tab, Shift+Tab, Space, Enter and Escape work the controls as in a
    // dialog.
    if (IsDialogMessageW(shell.mainWindow, &message)) continue;
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  // Closed through the caption's close box, the window does not wait for a
  // run; the Zip object must outlive the worker all the same.
  WaitForInstallerProgram();
  FinishWorker(zip);
  zip.window = nullptr;
  DeleteFonts();
  return message.message == WM_QUIT ? static_cast<int>(message.wParam) : 0;
}

}  // namespace
}  // namespace extractor::app

// Called by the process entry in runtime.cpp.
int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR commandLineTail, int showCommand) {
  using namespace extractor::app;
  RestrictDllSearch();
  LoadSystemLibraries();
  int exitCode = 0;
  if (PrepareInstaller(commandLineTail, exitCode)) return exitCode;
  return FinishInstaller(mainRoutine(instance, commandLineTail, showCommand));
}
