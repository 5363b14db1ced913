#include "app/worker.h"

#include <windows.h>

#include "app/installer.h"
#include "app/shell.h"
#include "app/shell_text.h"
#include "engine/report_error.h"

namespace extractor::app {
namespace {

constexpr uint32_t kExitWaitMs = 10000;
constexpr uint32_t kPollMs = 50;

std::atomic<bool> inEngine{false};
HANDLE workerHandle = nullptr;  // the shell's own handle; the engine closes Zip.thread
DWORD workerId = 0;

DWORD WINAPI UnzipThreadProc(void* parameter) {
  Zip& zip = *static_cast<Zip*>(parameter);
  std::optional<std::u16string> password = zip.password;
  int32_t result = zip.ExtractAll(zip.destination, zip.createFolders, zip.overwrite, password);
  InstallerRunEnded(zip, result);
  inEngine = false;
  zip.busy = false;
  zip.runResult = result;
  // A failed run is shown at the main window's next message; this one makes
  // it come now instead of at the user's next mouse move.
  if (result != 0) PostMessageW(static_cast<HWND>(zip.ownerWindow), WM_NULL, 0, 0);
  return static_cast<DWORD>(result);
}

BOOL CALLBACK cancelDialog(HWND window, LPARAM) {
  wchar_t className[16];
  if (GetClassNameW(window, className, 16) && lstrcmpW(className, L"#32770") == 0) {
    PostMessageW(window, WM_COMMAND, IDCANCEL, 0);
  }
  return TRUE;
}

// The worker may wait in the password or warnings dialog: Cancel ends
// either, and the password dialog's Cancel stops the run.
void cancelWorkerDialogs() {
  if (inEngine) EnumThreadWindows(workerId, cancelDialog, 0);
}

bool workerRunning() {
  return workerHandle != nullptr && WaitForSingleObject(workerHandle, 0) == WAIT_TIMEOUT;
}

}  // namespace

int32_t StartUnzip(Zip& zip, const std::u16string& destination, int16_t createFolders,
                   int16_t overwrite) {
  if (zip.busy) return ReportError(zip, zipErrBusy);
  ReleaseFinishedWorker(zip);
  zip.destination = destination;
  zip.createFolders = createFolders;
  zip.overwrite = overwrite;
  zip.busy = true;
  inEngine = true;
  shell.stopRequested = false;
  HANDLE thread = CreateThread(nullptr, 0, UnzipThreadProc, &zip, CREATE_SUSPENDED, &workerId);
  if (thread == nullptr) {
    inEngine = false;
    zip.busy = false;
    int32_t result = ReportError(zip, zipErrNone);
    zip.SetLastErrorText(u"The extraction could not be started");
    return result;
  }
  // The engine closes the handle it is given at the end of a run; the shell
  // keeps a second one to wait on.
  HANDLE engineCopy = nullptr;
  DuplicateHandle(GetCurrentProcess(), thread, GetCurrentProcess(), &engineCopy, 0, FALSE,
                  DUPLICATE_SAME_ACCESS);
  workerHandle = thread;
  zip.thread = engineCopy;
  SetThreadPriority(thread, THREAD_PRIORITY_IDLE);
  ResumeThread(thread);
  return 0;
}

bool WorkerInEngine() {
  return inEngine;
}

bool WaitServingWorker(bool (*pred)(), uint32_t timeoutMs) {
  DWORD start = GetTickCount();
  while (pred()) {
    if (timeoutMs != 0 && GetTickCount() - start >= timeoutMs) return false;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, kPollMs, QS_SENDMESSAGE);
    MSG message;
    // Peeking delivers the messages other threads have sent to this one.
    PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
  }
  return true;
}

void HurryWorker() {
  if (workerRunning()) SetThreadPriority(workerHandle, THREAD_PRIORITY_TIME_CRITICAL);
}

void WaitUntilWorkerIdle() {
  HurryWorker();
  // Only a posted Close reaches the window while a worker's dialog has it
  // disabled; the dialog must not keep the window open for ever.
  WaitServingWorker(
      [] {
        cancelWorkerDialogs();
        return zip.busy.load();
      },
      0);
}

void FinishWorker(Zip& zip) {
  if (inEngine) {
    zip.abortRequest = 1;
    shell.stopRequested = true;
    HurryWorker();
    // The dialogs' owner is gone by now.
    bool ended = WaitServingWorker(
        [] {
          cancelWorkerDialogs();
          return inEngine.load();
        },
        kExitWaitMs);
    if (!ended) TerminateProcess(GetCurrentProcess(), 0);
  }
  WaitServingWorker(workerRunning, kExitWaitMs);
  ReleaseFinishedWorker(zip);
}

void ReleaseFinishedWorker(Zip& zip) {
  if (inEngine) return;
  if (zip.thread) CloseHandle(static_cast<HANDLE>(zip.thread));
  zip.thread = nullptr;
  if (workerHandle) CloseHandle(workerHandle);
  workerHandle = nullptr;
}

}  // namespace extractor::app
