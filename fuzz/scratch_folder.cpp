#include "scratch_folder.h"

#include <unistd.h>

#include <fstream>

namespace extractor::fuzz {

namespace fs = std::filesystem;

ScratchFolder::ScratchFolder(const std::string& purpose) {
  outer_ =
      fs::temp_directory_path() / ("extractor-fuzz-" + purpose + "-" + std::to_string(::getpid()));
  fs::remove_all(outer_);
  // Deep enough that climbing out of the destination lands inside outer_.
  work_ = outer_ / "1" / "2" / "3" / "4" / "5" / "6" / "7" / "8" / "work";
  fs::create_directories(work_);
}

ScratchFolder::~ScratchFolder() {
  std::error_code ignored;
  fs::remove_all(outer_, ignored);
}

std::u16string ScratchFolder::write(const std::string& name, const uint8_t* data,
                                    size_t size) const {
  fs::path path = work_ / name;
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  return widen(path);
}

std::vector<std::string> ScratchFolder::listing() const {
  std::vector<std::string> names;
  for (const auto& item : fs::recursive_directory_iterator(outer_)) {
    names.push_back(fs::relative(item.path(), outer_).string());
  }
  return names;
}

std::u16string widen(const fs::path& path) {
  std::u16string out;
  for (char c : path.string()) out += static_cast<char16_t>(static_cast<unsigned char>(c));
  return out;
}

}  // namespace extractor::fuzz
