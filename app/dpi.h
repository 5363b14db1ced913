// The screen scale a window is shown at. The layout is given in pixels at
// 96 DPI; each value is scaled with the window's DPI.
#pragma once

#include <windows.h>

namespace extractor::app {

constexpr int kBaseDpi = 96;

// The DPI of the screen the window is on; the system's on systems that have
// no DPI per window (before Windows 10), or for no window.
int WindowDpi(HWND window);

// A length at 96 DPI, at dpi: exactly the same at 96.
inline int Scale(int pixels, int dpi) {
  return MulDiv(pixels, dpi, kBaseDpi);
}

}  // namespace extractor::app
