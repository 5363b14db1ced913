// A folder of the fuzzing process's own, several levels below a folder that
// holds nothing else, so that a file the engine puts beside or above its
// destination shows up in a listing of that outer folder.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace extractor::fuzz {

class ScratchFolder {
 public:
  explicit ScratchFolder(const std::string& purpose);
  ~ScratchFolder();
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  // Where the engine may work: the archive and the destination go here.
  const std::filesystem::path& work() const { return work_; }
  // Writes bytes to work()/name and returns its path as the engine takes it.
  std::u16string write(const std::string& name, const uint8_t* data, size_t size) const;
  // Every file and folder below the outer folder, relative to it.
  std::vector<std::string> listing() const;

 private:
  std::filesystem::path outer_;
  std::filesystem::path work_;
};

std::u16string widen(const std::filesystem::path& path);

}  // namespace extractor::fuzz
