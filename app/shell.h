// The shell's state, one per process: the handles of the main window and of
// the controls the commands use, the fonts, and what the status line needs.
// Created on the user-interface thread before the worker exists.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>

#include "app/shell_text.h"
#include "engine/zip.h"

namespace extractor::app {

struct ShellState {
  HINSTANCE instance = nullptr;
  DWORD userInterfaceThread = 0;
  wchar_t title[kTitleCapacity] = {};
  wchar_t className[kTitleCapacity] = {};
  HFONT normalFont = nullptr;
  HFONT boldFont = nullptr;
  HWND mainWindow = nullptr;
  HWND instructionLabel = nullptr;
  HWND destinationEdit = nullptr;
  HWND statusLabel = nullptr;
  HWND progressBar = nullptr;
  // The ten controls in the order they are made, for laying them out again
  // when the window moves to a screen of another scale.
  HWND controls[10] = {};
  int dpi = 96;  // the scale the layout and fonts are made for
  HWND focusBeforeDeactivation = nullptr;
  int16_t overwriteFlag = 0;               // 0 or -1
  std::atomic<int32_t> fileCount{0};       // read by the worker's refreshes
  std::atomic<uint64_t> lastShownDone{0};  // written by both threads' refreshes
  // Abort, Close or the password dialog's Cancel during this run. An aborted
  // run clears busy before its last refresh, which would otherwise show the
  // success text for a run that did not succeed.
  std::atomic<bool> stopRequested{false};
};

extern ShellState shell;

// The archive engine's one object.
extern Zip zip;

}  // namespace extractor::app
