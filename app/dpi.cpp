#include "app/dpi.h"

namespace extractor::app {
namespace {

using GetDpiForWindowCall = UINT(WINAPI*)(HWND);

// Windows 10 1607 and later only: looked up, so that the program still
// starts where user32 lacks it.
GetDpiForWindowCall dpiForWindow() {
  static const GetDpiForWindowCall call = reinterpret_cast<GetDpiForWindowCall>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
  return call;
}

int systemDpi() {
  HDC screen = GetDC(nullptr);
  int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 0;
  if (screen) ReleaseDC(nullptr, screen);
  return dpi > 0 ? dpi : kBaseDpi;
}

}  // namespace

int WindowDpi(HWND window) {
  if (window && dpiForWindow()) {
    UINT dpi = dpiForWindow()(window);
    if (dpi != 0) return static_cast<int>(dpi);
  }
  return systemDpi();
}

}  // namespace extractor::app
