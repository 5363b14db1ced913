// The console of the command-line runner: its arguments, its output and a
// password prompt, all in UTF-8 whatever the system's code pages are.
#pragma once

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace extractor::platform {

// The arguments after the program name. On Windows they are taken from the
// UTF-16 command line, so characters outside the ANSI code page survive.
std::vector<std::string> commandLineArguments(int argc, char** argv);

// Lets UTF-8 bytes written to stdout and stderr show as text on a console.
void useUtf8Output();

bool stdinIsTerminal();

// Writes prompt to stderr and reads one line from the terminal without
// echoing it; absent at the end of input.
std::optional<std::string> readPassword(const std::string& prompt);

// From now on, until called with null: Ctrl-C, Ctrl-Break, closing the
// console, SIGINT, SIGTERM and SIGHUP set *abortFlag to -1, as the window's
// Abort does, and the run ends at its next look at the flag. A second one
// ends the program at once. A closed console gives the program a few
// seconds before the system ends it.
void catchInterrupts(std::atomic<int32_t>* abortFlag);

// 128 and the number of the signal caught (130 for Ctrl-C and Ctrl-Break,
// 129 for a hangup or a closed console, 143 for SIGTERM); 0 when none was.
int interruptStatus();

}  // namespace extractor::platform
