// The main window's procedure: the commands, the refresh of the status line
// and progress bar, and the error dialog after a failed run. The engine
// calls it directly on the worker thread for its refreshes.
#pragma once

#include <windows.h>

namespace extractor::app {

LRESULT CALLBACK MainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

}  // namespace extractor::app
