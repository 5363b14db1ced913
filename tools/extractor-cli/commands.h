// What extractor-cli does; each returns the process's exit status.
#pragma once

#include "options.h"

namespace extractor::cli {

constexpr int kExitSuccess = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;
// Every entry went through, but the data of one or more were damaged: a
// script must not take their files for good ones.
constexpr int kExitDamaged = 3;
// An interrupt ends the run with 128 and its signal's number, as shells
// report a program a signal ended: 130 for Ctrl-C.

// The entries on stdout: a table, or with --tsv one line of tab-separated
// fields per entry.
int listArchive(const Options& options);

// Every entry under the destination, as the window's Unzip does it.
int extractArchive(const Options& options);

}  // namespace extractor::cli
