// The console of the command-line runner: its arguments, its output and a
// password prompt, all in UTF-8 whatever the system's code pages are.
#pragma once

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

}  // namespace extractor::platform
