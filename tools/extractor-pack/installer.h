// The installer settings a packed file carries: the settings block behind
// the program and, for --admin, the execution level in its manifest.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "options.h"
#include "status.h"

namespace extractor::pack {

// The block of key=value lines for options, markers included; empty when
// no option asks for one.
std::string settingsBlock(const InstallerOptions& options);

// Checks the installer options against the names of the entries to be
// packed and puts the settings into program: the level into its manifest,
// the block behind it. Without installer options program stays as it is.
Error applyInstaller(const InstallerOptions& options, const std::vector<std::string>& entryNames,
                     std::vector<uint8_t>& program);

}  // namespace extractor::pack
