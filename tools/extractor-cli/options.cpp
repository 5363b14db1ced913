#include "options.h"

namespace extractor::cli {

const char kUsage[] =
    "usage: extractor-cli [--overwrite] [--password TEXT] ARCHIVE DESTINATION\n"
    "       extractor-cli --list ARCHIVE\n";

namespace {

bool isOption(const std::string& arg) {
  return arg.size() > 1 && arg[0] == '-';
}

bool checkOperands(Options& options, const std::vector<std::string>& operands,
                   std::string& problem) {
  if (options.list) {
    if (options.overwrite || options.password) {
      problem = "--list takes no other option";
      return false;
    }
    if (operands.size() != 1) {
      problem = "--list takes one archive";
      return false;
    }
    options.archive = operands[0];
    return true;
  }
  if (operands.size() != 2) {
    problem = "an archive and a destination are needed";
    return false;
  }
  options.archive = operands[0];
  options.destination = operands[1];
  return true;
}

}  // namespace

std::optional<Options> parseOptions(const std::vector<std::string>& args, std::string& problem) {
  Options options;
  std::vector<std::string> operands;
  bool optionsEnded = false;
  for (size_t i = 0; i < args.size(); i++) {
    const std::string& arg = args[i];
    if (optionsEnded || !isOption(arg)) {
      operands.push_back(arg);
    } else if (arg == "--") {
      optionsEnded = true;
    } else if (arg == "--help" || arg == "-h") {
      options.help = true;
      return options;
    } else if (arg == "--list") {
      options.list = true;
    } else if (arg == "--overwrite") {
      options.overwrite = true;
    } else if (arg == "--password") {
      if (i + 1 == args.size()) {
        problem = "--password needs a value";
        return std::nullopt;
      }
      options.password = args[++i];
    } else if (arg.compare(0, 11, "--password=") == 0) {
      options.password = arg.substr(11);
    } else {
      problem = "unknown option " + arg;
      return std::nullopt;
    }
  }
  if (!checkOperands(options, operands, problem)) return std::nullopt;
  return options;
}

}  // namespace extractor::cli
