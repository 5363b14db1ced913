/* Starts a console program, waits until a file it writes has content, then
   delivers a console event to it as the system does: a new thread in the
   program at CtrlRoutine, given the event. Wine's own GenerateConsoleCtrlEvent
   sends only Ctrl-C, and no test run has a console window to close.
   Exits with the program's status; 200 and up are this program's failures.

   usage: console_event break|close FILE PROGRAM [ARGUMENT...] */

#include <windows.h>

#include <stdio.h>
#include <wchar.h>

enum { kUsage = 200, kStartFailed, kNoFile, kNotDelivered };

static int contentSeen(const wchar_t* path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  return GetFileAttributesExW(path, GetFileExInfoStandard, &data) &&
         (data.nFileSizeLow != 0 || data.nFileSizeHigh != 0);
}

int wmain(int argc, wchar_t** argv) {
  if (argc < 4) return kUsage;
  DWORD event;
  if (wcscmp(argv[1], L"break") == 0) {
    event = CTRL_BREAK_EVENT;
  } else if (wcscmp(argv[1], L"close") == 0) {
    event = CTRL_CLOSE_EVENT;
  } else {
    return kUsage;
  }

  static wchar_t command[32768];
  size_t used = 0;
  for (int i = 3; i < argc; i++) {
    int n = swprintf(command + used, 32768 - used, L"%ls\"%ls\"", i > 3 ? L" " : L"", argv[i]);
    if (n < 0) return kUsage;
    used += (size_t)n;
  }
  STARTUPINFOW startup;
  ZeroMemory(&startup, sizeof startup);
  startup.cb = sizeof startup;
  PROCESS_INFORMATION child;
  if (!CreateProcessW(NULL, command, NULL, NULL, TRUE, 0, NULL, NULL, &startup, &child)) {
    return kStartFailed;
  }

  int seen = 0;
  for (int waited = 0; waited < 20000 && !seen; waited += 10) {
    if (WaitForSingleObject(child.hProcess, 10) == WAIT_OBJECT_0) break;
    seen = contentSeen(argv[2]);
  }
  if (!seen) {
    TerminateProcess(child.hProcess, kNoFile);
    return kNoFile;
  }

  /* The system's routine sits at the same address in every process. */
  HMODULE base = GetModuleHandleW(L"kernelbase.dll");
  FARPROC routine = base ? GetProcAddress(base, "CtrlRoutine") : NULL;
  HANDLE thread =
      routine ? CreateRemoteThread(child.hProcess, NULL, 0, (LPTHREAD_START_ROUTINE)(void*)routine,
                                   (void*)(ULONG_PTR)event, 0, NULL)
              : NULL;
  if (thread == NULL) {
    TerminateProcess(child.hProcess, kNotDelivered);
    return kNotDelivered;
  }
  CloseHandle(thread);

  DWORD status = kNotDelivered;
  if (WaitForSingleObject(child.hProcess, 60000) != WAIT_OBJECT_0) {
    TerminateProcess(child.hProcess, kNotDelivered);
  } else {
    GetExitCodeProcess(child.hProcess, &status);
  }
  return (int)status;
}
