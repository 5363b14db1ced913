// The installer's texts: the switches of the program's command line, its
// exit codes and the command line of the program run after extraction.
// Plain functions, so that they are tested without Windows.
#pragma once

#include <cstdint>
#include <string>

namespace extractor::app {

// The program's own failures carry bit 29, which Windows reserves for
// codes an application defines (no system error code has it), so that they
// stay apart from the codes of a program run after extraction.
constexpr uint32_t kExitOwnCodes = 0x20000000;
constexpr uint32_t kExitBadSettings = kExitOwnCodes + 1;  // the settings block does not parse
constexpr uint32_t kExitFailed = kExitOwnCodes + 2;       // an error ended the extraction
constexpr uint32_t kExitWarnings = kExitOwnCodes + 3;     // an entry kept, damaged or renamed
constexpr uint32_t kExitCancelled = kExitOwnCodes + 4;    // No, Abort, Cancel or closed
constexpr uint32_t kExitRunFailed = kExitOwnCodes + 5;    // the program could not be started

struct Switches {
  bool silent = false;  // /S
  bool help = false;    // /?
  bool folderGiven = false;
  std::u16string folder;  // /D=FOLDER: the rest of the command line
};

// The switches in the command-line tail, as installers spell them: upper
// case, so that "/s" or "-S", which the program has always ignored, still
// change nothing. Words that are no switch are ignored.
Switches ParseSwitches(const char16_t* tail);

// "FULLPATH" ARGS, as CreateProcessW hands it to the program.
std::u16string RunCommandLine(const std::u16string& fullPath, const std::u16string& args);

// The destination folder joined with a path below it, "\" between them.
std::u16string JoinBelow(const std::u16string& folder, const std::u16string& relative);

// What the shell learnt of the run into the exit code: result the
// extraction's (0 or not), stopped when the user stopped it.
uint32_t ExtractionExitCode(int32_t result, bool stopped, bool warnings);

}  // namespace extractor::app
