// Writes an RGB image as a PNG file. Screenshots of a user interface are
// mostly flat areas, so the image data is deflated with runs only (fixed
// Huffman codes, matches at distance 1), which keeps them small enough.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace extractor::test {

struct RgbImage {
  int32_t width = 0;
  int32_t height = 0;
  std::vector<uint8_t> pixels;  // rows top to bottom, 3 bytes (R, G, B) a pixel
};

std::vector<uint8_t> encodePng(const RgbImage& image);

// False when the file could not be written.
bool writePng(const std::string& path, const RgbImage& image);

}  // namespace extractor::test
