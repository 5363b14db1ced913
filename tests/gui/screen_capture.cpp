#include "screen_capture.h"

#include <windows.h>

namespace extractor::test {

RgbImage captureScreen() {
  RgbImage image;
  int width = GetSystemMetrics(SM_CXSCREEN);
  int height = GetSystemMetrics(SM_CYSCREEN);
  HDC screen = GetDC(nullptr);
  if (!screen || width <= 0 || height <= 0) return image;
  BITMAPINFO format{};
  format.bmiHeader.biSize = sizeof format.bmiHeader;
  format.bmiHeader.biWidth = width;
  format.bmiHeader.biHeight = -height;  // rows top to bottom
  format.bmiHeader.biPlanes = 1;
  format.bmiHeader.biBitCount = 32;
  format.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HDC memory = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateDIBSection(screen, &format, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (memory && bitmap) {
    HGDIOBJ previous = SelectObject(memory, bitmap);
    if (BitBlt(memory, 0, 0, width, height, screen, 0, 0, SRCCOPY)) {
      GdiFlush();
      image.width = width;
      image.height = height;
      image.pixels.resize(static_cast<size_t>(width) * height * 3);
      const uint8_t* source = static_cast<const uint8_t*>(bits);
      for (size_t pixel = 0; pixel < static_cast<size_t>(width) * height; pixel++) {
        image.pixels[pixel * 3] = source[pixel * 4 + 2];
        image.pixels[pixel * 3 + 1] = source[pixel * 4 + 1];
        image.pixels[pixel * 3 + 2] = source[pixel * 4];
      }
    }
    SelectObject(memory, previous);
  }
  if (bitmap) DeleteObject(bitmap);
  if (memory) DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  return image;
}

}  // namespace extractor::test
