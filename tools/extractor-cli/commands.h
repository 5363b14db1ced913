// What extractor-cli does; each returns the process's exit code.
#pragma once

#include "options.h"

namespace extractor::cli {

constexpr int kExitSuccess = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

// One listing line per entry on stdout.
int listArchive(const Options& options);

// Every entry under the destination, as the window's Unzip does it.
int extractArchive(const Options& options);

}  // namespace extractor::cli
