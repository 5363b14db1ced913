#include "app/main_wnd_proc.h"

#include <commctrl.h>

#include <string>

#include "app/dialogs.h"
#include "app/main_window.h"
#include "app/resource_ids.h"
#include "app/shell.h"
#include "app/system_libraries.h"
#include "app/worker.h"
#include "engine/report_error.h"

namespace extractor::app {
namespace {

// How long Unzip waits for an aborted run that has cleared busy to leave
// the engine; it only has its last block to give back.
constexpr uint32_t kUnwindWaitMs = 5000;

bool onUserInterfaceThread() {
  return GetCurrentThreadId() == shell.userInterfaceThread;
}

std::u16string wideText(const wchar_t* text) {
  return std::u16string(reinterpret_cast<const char16_t*>(text));
}

// Empties the entry list for the next Unzip. Only the user-interface thread
// does it, and only once the worker has left the engine: before that the
// worker may still be using the entries.
void resetWhenIdle() {
  if (!onUserInterfaceThread() || zip.busy || WorkerInEngine()) return;
  zip.ClearCurrentName();
  zip.Reset();
  ReleaseFinishedWorker(zip);
}

void prologue(HWND window) {
  if (zip.runResult != 0) {
    zip.runResult = 0;
    ShowErrorDialog(window);
  }
  resetWhenIdle();
}

void shownName(wchar_t (&name)[kStatusCapacity]) {
  name[0] = L'\0';
  std::optional<std::u16string> current = zip.CurrentName();
  if (!current) return;
  AppendTruncated(
      name, kStatusCapacity,
      std::wstring_view(reinterpret_cast<const wchar_t*>(current->data()), current->size()));
}

LRESULT refresh(HWND window, WPARAM wParam, LPARAM lParam) {
  wchar_t name[kStatusCapacity];
  shownName(name);
  wchar_t status[kStatusCapacity];
  ComposeStatus(status,
                {zip.busy, name, shell.lastShownDone, shell.fileCount, shell.stopRequested});
  SetWindowTextW(shell.statusLabel, status);

  PAINTSTRUCT paint;
  HDC dc = BeginPaint(window, &paint);
  RECT client;
  GetClientRect(window, &client);
  FillRect(dc, &client, reinterpret_cast<HBRUSH>(COLOR_MENU + 1));
  uint64_t done = zip.bytesDone;
  if (zip.bytesTotal != 0) {
    WPARAM position = ProgressPosition(done, zip.bytesTotal);
    SendMessageW(shell.progressBar, PBM_SETPOS, position, static_cast<LPARAM>(position));
  }
  if (!zip.busy) SendMessageW(shell.progressBar, PBM_SETPOS, 0, 0);
  shell.lastShownDone = done;
  EndPaint(window, &paint);
  return DefWindowProcW(window, WM_PAINT, wParam, lParam);
}

void abortCommand() {
  zip.abortRequest = 1;
  shell.stopRequested = true;
  SendMessageW(shell.progressBar, PBM_SETPOS, 0, 0);
  shell.lastShownDone = 0;
  zip.bytesDone = 0;
}

void closeCommand(HWND window) {
  zip.abortRequest = 1;
  shell.stopRequested = true;
  if (zip.busy) WaitUntilWorkerIdle();
  DestroyWindow(window);
}

int32_t readAndStart() {
  wchar_t program[kPathCapacity] = {};
  GetModuleFileNameW(nullptr, program, kPathCapacity);
  wchar_t destination[kPathCapacity] = {};
  GetWindowTextW(shell.destinationEdit, destination, kPathCapacity);

  // An aborted run clears busy before it has left the engine.
  if (!zip.busy && WorkerInEngine()) {
    WaitServingWorker(WorkerInEngine, kUnwindWaitMs);
    resetWhenIdle();
  }
  int32_t result = !zip.busy && WorkerInEngine() ? ReportError(zip, zipErrBusy)
                                                 : zip.ReadDirectory(wideText(program));
  shell.fileCount = static_cast<int32_t>(zip.entries.size());
  if (result != 0) return result;
  return StartUnzip(zip, wideText(destination), -1, shell.overwriteFlag);
}

void unzipCommand(HWND window) {
  if (readAndStart() != 0) ShowErrorDialog(window);
}

void browseCommand(HWND window) {
  wchar_t path[kPathCapacity];
  if (BrowseForFolder(window, L"Select the Destination directory", path)) {
    SetWindowTextW(shell.destinationEdit, path);
  }
}

LRESULT command(HWND window, WPARAM wParam, LPARAM lParam) {
  switch (LOWORD(wParam)) {
    case IDC_ABORT:
      abortCommand();
      return 0;
    case IDC_CLOSE:
    case IDCANCEL:  // Escape
      closeCommand(window);
      return 0;
    case IDC_UNZIP:
      unzipCommand(window);
      return 0;
    case IDC_OVERWRITE:
      shell.overwriteFlag = shell.overwriteFlag == 0 ? -1 : 0;
      return 0;
    case IDC_BROWSE:
      browseCommand(window);
      return 0;
  }
  return DefWindowProcW(window, WM_COMMAND, wParam, lParam);
}

}  // namespace

LRESULT CALLBACK MainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  prologue(window);
  switch (message) {
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    case WM_PAINT:
      return refresh(window, wParam, lParam);
    case WM_COMMAND:
      return command(window, wParam, lParam);
    case DM_GETDEFID:
      return MAKELRESULT(DefaultButtonId(), DC_HASDEFID);
    case WM_DPICHANGED:
      RescaleMainWindow(window, HIWORD(wParam), *reinterpret_cast<const RECT*>(lParam));
      return 0;
    case WM_ACTIVATE:
      // The control that had the focus gets it back when the window does.
      if (LOWORD(wParam) == WA_INACTIVE) {
        shell.focusBeforeDeactivation = GetFocus();
      } else if (shell.focusBeforeDeactivation && IsWindow(shell.focusBeforeDeactivation) &&
                 IsChild(window, shell.focusBeforeDeactivation)) {
        SetFocus(shell.focusBeforeDeactivation);
        return 0;
      }
      break;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace extractor::app
