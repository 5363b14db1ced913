// The command line of extractor-cli.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace extractor::cli {

// The two command forms, for a usage error.
extern const char kUsage[];
// Every option and the exit statuses, for --help.
extern const char kHelp[];

struct Options {
  bool help = false;
  bool version = false;
  bool list = false;
  bool tsv = false;  // --list as tab-separated values
  bool overwrite = false;
  std::optional<std::string> password;
  std::string archive;
  std::string destination;
};

// args are the UTF-8 arguments after the program name. Absent, with problem
// saying why, when they form no command line.
std::optional<Options> parseOptions(const std::vector<std::string>& args, std::string& problem);

}  // namespace extractor::cli
