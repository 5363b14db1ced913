// An archive written to a temporary folder, read by a Zip object with a
// recording window, and extracted into a destination beside it.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <random>

#include "engine/zip.h"
#include "fake_window.h"
#include "temp_dir.h"
#include "zip_builder.h"

namespace extractor::test {

class ExtractTest : public ::testing::Test {
 protected:
  ExtractTest() : window(zip) {}

  // Writes the archive as setup.exe, reads its directory and extracts it.
  int32_t extract(const ZipBuilder& builder, bool overwrite = false,
                  std::optional<std::u16string> password = std::nullopt) {
    writeBytes(dir.path() / "setup.exe", builder.build());
    EXPECT_EQ(zip.ReadDirectory(dir.wide("setup.exe")), 0) << "directory";
    return run(overwrite, password);
  }

  int32_t run(bool overwrite = false, std::optional<std::u16string> password = std::nullopt) {
    zip.busy = true;
    int32_t result = zip.ExtractAll(dir.wide(destination), -1, overwrite ? -1 : 0, password);
    zip.busy = false;
    return result;
  }

  // name in UTF-8.
  std::filesystem::path out(const std::string& name) const {
    return dir.path() / std::filesystem::u8path(destination) / std::filesystem::u8path(name);
  }
  std::vector<uint8_t> extracted(const std::string& name) const { return readBytes(out(name)); }

  std::u16string warnings(size_t entry) { return zip.entries[entry].warnings.Join(); }

  TempDir dir;
  std::string destination = "out";  // UTF-8, inside dir
  Zip zip;
  FakeWindow window;
};

// Bytes that compress, with matches at every distance up to the window.
inline std::vector<uint8_t> sampleData(size_t size, uint32_t seed = 1) {
  std::mt19937 random(seed);
  std::vector<uint8_t> data;
  data.reserve(size);
  while (data.size() < size) {
    if (data.size() > 300 && random() % 3 == 0) {
      size_t distance = 1 + random() % std::min<size_t>(data.size() - 1, 32768);
      size_t length = 3 + random() % 255;
      for (size_t i = 0; i < length && data.size() < size; i++) {
        data.push_back(data[data.size() - distance]);
      }
    } else {
      data.push_back(static_cast<uint8_t>("etaoin shrdlu\n"[random() % 14] ^ (random() % 16 == 0)));
    }
  }
  return data;
}

}  // namespace extractor::test
