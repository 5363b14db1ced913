// Engine text on the console: UTF-16 in, UTF-8 out, each problem after the
// program's name and the file it concerns.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "engine/zip_entry.h"

namespace extractor::cli {

// Writes text and a line end; the "\r\n" between lines of a dialog text
// become plain line ends.
void printLine(std::FILE* stream, std::u16string_view text);

// "extractor-cli: WHERE: TEXT" on stderr, and ": REASON" when one is given.
void printProblem(const std::string& where, std::u16string_view text,
                  const std::string& reason = "");

// Where the entry's file goes under destination (both as the user reads
// them: UTF-8, this system's separator), its name mended as the
// extraction mends it.
std::string targetPath(const std::string& destination, const ZipEntry& entry);

// "12 files, 3.4 MB in 0.5 s"
std::string summaryLine(uint64_t files, uint64_t bytes, double seconds);

}  // namespace extractor::cli
