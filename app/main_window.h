// The main window "EXTRACT": fonts, class, the window with its ten controls,
// and the message pump the engine calls.
#pragma once

#include <windows.h>

namespace extractor::app {

void CreateFonts();
void DeleteFonts();
void RegisterMainClass();

// False when the main window could not be created.
bool CreateMainWindow(HINSTANCE instance, int showCommand);

// Moves window to the centre of the screen, keeping its size.
void CentreWindow(HWND window);

// Dispatches every message waiting for the calling thread; never waits.
bool PumpMessages();

}  // namespace extractor::app
