// A fresh folder for one test, removed with everything in it afterwards.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace extractor::test {

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  // The path of name (UTF-8) inside the folder, as the engine takes paths.
  std::u16string wide(const std::string& name = "") const;

 private:
  std::filesystem::path path_;
};

// A path as the engine takes it: UTF-16, every character kept.
std::u16string widen(const std::filesystem::path& path);

std::vector<uint8_t> readBytes(const std::filesystem::path& path);
void writeBytes(const std::filesystem::path& path, const std::vector<uint8_t>& bytes);
std::vector<uint8_t> bytesOf(const std::string& text);

}  // namespace extractor::test
