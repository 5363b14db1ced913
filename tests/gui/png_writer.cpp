#include "png_writer.h"

#include <cstdio>

#include "crypto/crc32.h"

namespace extractor::test {
namespace {

// Bits go out least significant first, as DEFLATE packs them.
class BitWriter {
 public:
  explicit BitWriter(std::vector<uint8_t>& out) : out_(out) {}

  void bits(uint32_t value, int count) {
    for (int i = 0; i < count; i++) {
      if (used_ == 0) out_.push_back(0);
      if ((value >> i) & 1) out_.back() |= static_cast<uint8_t>(1 << used_);
      used_ = (used_ + 1) % 8;
    }
  }

  // Huffman codes are packed starting with their most significant bit.
  void code(uint32_t value, int length) {
    for (int i = length - 1; i >= 0; i--) bits((value >> i) & 1, 1);
  }

 private:
  std::vector<uint8_t>& out_;
  int used_ = 0;
};

void fixedSymbol(BitWriter& writer, int symbol) {
  if (symbol < 144) {
    writer.code(0x30 + symbol, 8);
  } else if (symbol < 256) {
    writer.code(0x190 + symbol - 144, 9);
  } else if (symbol < 280) {
    writer.code(symbol - 256, 7);
  } else {
    writer.code(0xC0 + symbol - 280, 8);
  }
}

const int kLengthBase[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                             31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
const int kLengthExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                              2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};

void runOfPrevious(BitWriter& writer, int length) {
  int index = 28;
  while (kLengthBase[index] > length) index--;
  fixedSymbol(writer, 257 + index);
  writer.bits(length - kLengthBase[index], kLengthExtra[index]);
  writer.code(0, 5);  // distance 1
}

std::vector<uint8_t> deflateRuns(const std::vector<uint8_t>& data) {
  std::vector<uint8_t> out;
  BitWriter writer(out);
  writer.bits(1, 1);  // the only block, so the final one
  writer.bits(1, 2);  // fixed Huffman codes
  size_t at = 0;
  while (at < data.size()) {
    size_t run = 0;
    while (at > 0 && at + run < data.size() && run < 258 && data[at + run] == data[at - 1]) run++;
    if (run >= 3) {
      runOfPrevious(writer, static_cast<int>(run));
      at += run;
    } else {
      fixedSymbol(writer, data[at]);
      at++;
    }
  }
  fixedSymbol(writer, 256);
  return out;
}

uint32_t adler32(const std::vector<uint8_t>& data) {
  uint32_t low = 1, high = 0;
  for (uint8_t byte : data) {
    low = (low + byte) % 65521;
    high = (high + low) % 65521;
  }
  return (high << 16) | low;
}

void putBig32(std::vector<uint8_t>& out, uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(value >> shift));
}

void chunk(std::vector<uint8_t>& out, const char* type, const std::vector<uint8_t>& body) {
  putBig32(out, static_cast<uint32_t>(body.size()));
  size_t typeStart = out.size();
  out.insert(out.end(), type, type + 4);
  out.insert(out.end(), body.begin(), body.end());
  const uint8_t* covered = out.data() + typeStart;
  putBig32(out, crc32Update(0, covered, static_cast<int32_t>(out.size() - typeStart)));
}

// Each row with filter 1 (difference to the pixel on the left), which turns
// flat areas into runs of zeros.
std::vector<uint8_t> filteredRows(const RgbImage& image) {
  std::vector<uint8_t> rows;
  size_t stride = static_cast<size_t>(image.width) * 3;
  rows.reserve((stride + 1) * image.height);
  for (int32_t y = 0; y < image.height; y++) {
    const uint8_t* row = image.pixels.data() + stride * y;
    rows.push_back(1);
    for (size_t x = 0; x < stride; x++) {
      rows.push_back(static_cast<uint8_t>(row[x] - (x >= 3 ? row[x - 3] : 0)));
    }
  }
  return rows;
}

}  // namespace

std::vector<uint8_t> encodePng(const RgbImage& image) {
  static const uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  std::vector<uint8_t> out(kSignature, kSignature + 8);
  std::vector<uint8_t> header;
  putBig32(header, static_cast<uint32_t>(image.width));
  putBig32(header, static_cast<uint32_t>(image.height));
  header.insert(header.end(), {8, 2, 0, 0, 0});  // 8-bit RGB, no interlace
  chunk(out, "IHDR", header);
  std::vector<uint8_t> rows = filteredRows(image);
  std::vector<uint8_t> stream = {0x78, 0x01};
  std::vector<uint8_t> deflated = deflateRuns(rows);
  stream.insert(stream.end(), deflated.begin(), deflated.end());
  putBig32(stream, adler32(rows));
  chunk(out, "IDAT", stream);
  chunk(out, "IEND", {});
  return out;
}

bool writePng(const std::string& path, const RgbImage& image) {
  std::vector<uint8_t> bytes = encodePng(image);
  FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) return false;
  bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  return std::fclose(file) == 0 && written;
}

}  // namespace extractor::test
