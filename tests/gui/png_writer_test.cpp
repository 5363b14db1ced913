// The screenshots' PNG files must read back, through zlib, as the pixels
// that went in: flat areas (long runs), noise (no runs) and sizes at the
// edges of the run lengths.
#include "png_writer.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <random>

namespace extractor::test {
namespace {

uint32_t big32(const std::vector<uint8_t>& bytes, size_t at) {
  return (uint32_t{bytes[at]} << 24) | (bytes[at + 1] << 16) | (bytes[at + 2] << 8) | bytes[at + 3];
}

// The pixels a PNG decoder finds, checking every chunk's CRC on the way.
RgbImage decode(const std::vector<uint8_t>& png) {
  RgbImage image;
  std::vector<uint8_t> stream;
  for (size_t at = 8; at + 12 <= png.size();) {
    uint32_t length = big32(png, at);
    std::string type(png.begin() + at + 4, png.begin() + at + 8);
    const uint8_t* body = png.data() + at + 8;
    EXPECT_EQ(crc32(0, png.data() + at + 4, length + 4), big32(png, at + 8 + length)) << type;
    if (type == "IHDR") {
      image.width = static_cast<int32_t>(big32(png, at + 8));
      image.height = static_cast<int32_t>(big32(png, at + 12));
    }
    if (type == "IDAT") stream.insert(stream.end(), body, body + length);
    at += 12 + length;
  }
  size_t stride = static_cast<size_t>(image.width) * 3;
  std::vector<uint8_t> rows((stride + 1) * image.height);
  uLongf size = static_cast<uLongf>(rows.size());
  EXPECT_EQ(uncompress(rows.data(), &size, stream.data(), static_cast<uLong>(stream.size())), Z_OK);
  EXPECT_EQ(size, rows.size());
  for (int32_t y = 0; y < image.height; y++) {
    uint8_t* row = rows.data() + (stride + 1) * y;
    EXPECT_EQ(row[0], 1);
    for (size_t x = 0; x < stride; x++) {
      uint8_t left = x >= 3 ? image.pixels[image.pixels.size() - 3] : 0;
      image.pixels.push_back(static_cast<uint8_t>(row[1 + x] + left));
    }
  }
  return image;
}

RgbImage image(int32_t width, int32_t height, int noisyEvery) {
  RgbImage made{width, height, {}};
  std::mt19937 random(7);
  for (int32_t i = 0; i < width * height * 3; i++) {
    bool noisy = noisyEvery > 0 && i % noisyEvery == 0;
    made.pixels.push_back(noisy ? static_cast<uint8_t>(random()) : static_cast<uint8_t>(i / 3000));
  }
  return made;
}

TEST(PngWriter, ReadsBackAsWritten) {
  struct Case {
    int32_t width, height;
    int noisyEvery;  // 0: flat runs only
  } cases[] = {{1, 1, 0}, {800, 600, 0}, {86, 3, 1}, {259, 2, 0}, {300, 40, 97}, {87, 1, 2}};
  for (const Case& c : cases) {
    RgbImage written = image(c.width, c.height, c.noisyEvery);
    RgbImage read = decode(encodePng(written));
    EXPECT_EQ(read.width, c.width);
    EXPECT_EQ(read.height, c.height);
    EXPECT_TRUE(read.pixels == written.pixels) << c.width << "x" << c.height;
  }
}

}  // namespace
}  // namespace extractor::test
