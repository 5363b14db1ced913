// The main window "EXTRACT": fonts, class, the window with its ten controls,
// and the message pump the engine calls.
#pragma once

#include <windows.h>

namespace extractor::app {

// The two fonts of the window at dpi.
void CreateFonts(int dpi);
void DeleteFonts();
void RegisterMainClass();

// False when the main window could not be created.
bool CreateMainWindow(HINSTANCE instance, int showCommand);

// Lays the window out again for a screen of another scale: fonts, window
// size (at the place the system suggests) and every control.
void RescaleMainWindow(HWND window, int dpi, const RECT& suggested);

// The control Enter presses: the push button that has the focus, else Unzip.
int DefaultButtonId();

// Moves window to the centre of the screen, keeping its size.
void CentreWindow(HWND window);

// Dispatches every message waiting for the calling thread; never waits.
bool PumpMessages();

}  // namespace extractor::app
