// What a packer needs to know about the files it packs and about itself.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace extractor::platform {

// A file's last-write time in the local time of this system, as ZIP headers
// keep it.
struct LocalTime {
  int year = 1980, month = 1, day = 1, hour = 0, minute = 0, second = 0;
};

// path is UTF-8. Absent when the file cannot be looked at.
std::optional<LocalTime> lastWriteLocalTime(const std::string& path);

// The full path of the running program, UTF-8; empty when unknown.
std::string executablePath();

// True when stderr is a terminal, where a progress line may be redrawn.
bool stderrIsTerminal();

// Fills out with bytes from the operating system's random source, made for
// keys and salts. False when the source fails.
bool fillRandom(uint8_t* out, size_t size);

}  // namespace extractor::platform
