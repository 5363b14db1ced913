// The files and folders to pack, found from the paths on the command line.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "status.h"

namespace extractor::pack {

struct Input {
  std::filesystem::path path;
  std::string name;  // entry name, UTF-8, "/" between folders, "/" at the end of a folder
  bool folder = false;
  uint64_t size = 0;
  uint16_t dosDate = 0;
  uint16_t dosTime = 0;
};

// Each path with everything under it, in name order, named relative to the
// path's parent. The file at skip (the output being written) is left out,
// and so are links to nothing, each with a warning.
Error collectInputs(const std::vector<std::string>& paths, const std::filesystem::path& skip,
                    std::vector<Input>& inputs, std::vector<std::string>& warnings);

// True when the name has bytes above 0x7F and is valid UTF-8.
bool needsUtf8Flag(const std::string& name);

}  // namespace extractor::pack
