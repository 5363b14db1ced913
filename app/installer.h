// The installer mode: the settings block the file carries and the switches
// of its command line. A file without a block, started without switches,
// takes none of these paths: the window behaves as it always did and the
// program exits with 0.
#pragma once

#include <windows.h>

#include <cstdint>

#include "engine/zip.h"

namespace extractor::app {

// Before any window: reads the settings and the switches, shows a bad
// block's line, /?'s text or the question, and runs /S to its end. True
// when the program is done then, with exitCode; false to go on with the
// window.
bool PrepareInstaller(const wchar_t* commandLineTail, int& exitCode);

// Once the window and its controls exist: caption, destination, check
// box, the controls the temporary mode hides, and the start at once.
void ApplyInstallerToWindow();

// On the worker, when an extraction has ended with result: runs the
// configured program after a success and closes the window where the
// settings ask for it.
void InstallerRunEnded(Zip& zip, int32_t result);

// After the window has closed: waits for a program run after extraction
// that is still running.
void WaitForInstallerProgram();

// A run showed warnings.
void NoteInstallerWarnings();

// After the window has closed: removes the temporary folder and gives the
// exit code, windowResult unless the settings or switches ask for one.
int FinishInstaller(int windowResult);

}  // namespace extractor::app
