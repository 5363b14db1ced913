// Packing: the program stub, then the entries, then the directory, into one
// file or into volumes.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "options.h"
#include "status.h"

namespace extractor::pack {

struct PackSummary {
  size_t entries = 0;
  uint64_t inputBytes = 0;                   // the entries' sizes before packing
  uint64_t outputBytes = 0;                  // of all files written, the program included
  std::vector<std::filesystem::path> files;  // what was written
  uint16_t disks = 0;                        // volumes, 0 for one file
  std::vector<std::string> warnings;         // inputs skipped
};

// ansiPassword: the password's bytes as the extractor keys them (unused
// without encryption).
Error pack(const Options& options, const std::string& ansiPassword, PackSummary& summary);

// Set from a signal handler: the run stops and removes what it wrote.
void requestStop();

}  // namespace extractor::pack
