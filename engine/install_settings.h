// The settings a self-extracting file may carry for installing: a block of
// UTF-8 text right behind the program, in front of the archive, between two
// marker lines, one key=value a line. The packer writes it; a block written
// by hand and put in with `cat` works as well.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace extractor {

constexpr char kSettingsOpening[] = "[extractor settings]";
constexpr char kSettingsClosing[] = "[end of extractor settings]";
// The whole block, markers included, is at most this long.
constexpr size_t kMostSettingsBytes = 8192;

struct InstallSettings {
  bool present = false;     // the file carries a block
  std::u16string title;     // the window's caption
  std::u16string question;  // asked with Yes and No before the window appears
  std::u16string folder;    // the default destination, %NAME% not yet expanded
  bool overwrite = false;   // the check box's initial state
  std::u16string run;       // PROGRAM ARGS, PROGRAM relative to the destination
  bool temporary = false;   // into a fresh folder under TEMP, removed afterwards
  bool autoStart = false;   // extract at once and close after success
};

// Parses the bytes behind the program. A block is there only when they
// begin (after a UTF-8 byte-order mark) with the opening marker line;
// otherwise settings.present stays false and the result is true. False,
// with problem naming the line, when the block does not parse.
bool ParseInstallSettings(std::string_view bytes, InstallSettings& settings,
                          std::u16string& problem);

// Splits PROGRAM ARGS: PROGRAM runs to the first blank, or when it begins
// with a double quote to the closing one; ARGS is the rest after blanks.
void SplitRunCommand(const std::u16string& run, std::u16string& program, std::u16string& args);

// True when program names a file below the destination: not empty, no
// drive, no leading separator, no "." or ".." component, no empty component.
bool IsInsideDestination(const std::u16string& program);

// The same path with "\" for every separator and ASCII letters folded to
// lower case, for comparing with entry names as Windows compares names.
std::u16string ComparablePath(const std::u16string& path);

// Where a Windows program's image ends in its file: behind the section
// whose raw data ends last. 0 when headers (the file's first bytes, at
// least the section table) do not describe a PE image.
uint64_t ProgramImageEnd(std::string_view headers);

}  // namespace extractor
