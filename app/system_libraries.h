// The libraries beyond kernel32, user32 and gdi32 are loaded from the system
// folder only, after the search for every later load has been restricted to
// it: a DLL of the same name beside a downloaded setup program is never
// loaded.
#pragma once

#include <windows.h>

namespace extractor::app {

// First thing the program does: later loads, and the libraries they pull
// in, search the system folder only. Where the system lacks the call, the
// explicit loads below still name the system folder.
void RestrictDllSearch();

// Loads from the system folder, before any window exists, what the program
// and the system's own window code load later by name (ole32 for the folder
// browser and the input method support), and registers the progress bar
// class "msctls_progress32". A library already loaded is found by its name,
// so a later load by name never reaches the program's folder.
void LoadSystemLibraries();

// name from the system folder; null when it is not there.
HMODULE LoadSystemLibrary(const wchar_t* name);

// The shell's folder browser: true with the chosen folder's path in
// path (kPathCapacity characters); false when cancelled or when the choice
// has no file-system path.
bool BrowseForFolder(HWND owner, const wchar_t* title, wchar_t* path);

}  // namespace extractor::app
