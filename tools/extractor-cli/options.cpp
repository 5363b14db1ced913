#include "options.h"

namespace extractor::cli {

const char kUsage[] =
    "usage: extractor-cli [--overwrite] [--password TEXT] ARCHIVE DESTINATION\n"
    "       extractor-cli --list [--tsv] ARCHIVE\n";

const char kHelp[] =
    "usage: extractor-cli [--overwrite] [--password TEXT] ARCHIVE DESTINATION\n"
    "       extractor-cli --list [--tsv] ARCHIVE\n"
    "Extracts every entry of ARCHIVE, a self-extracting file or any ZIP archive,\n"
    "into DESTINATION, as the program's Unzip does.\n"
    "  --overwrite        replace files that exist (default: keep them, with the\n"
    "                     warning \"File Exists\")\n"
    "  --password TEXT    the password of encrypted entries (default: asked for on\n"
    "                     the terminal when one is needed)\n"
    "  --list             list the entries: sizes, method, CRC-32, time,\n"
    "                     encryption, volume and name, under a header line\n"
    "  --tsv              with --list: tab-separated, no header, for scripts: name,\n"
    "                     method, compressed and uncompressed size, CRC-32, time,\n"
    "                     encryption kind, first volume\n"
    "  --version          the version of this program\n"
    "  -h, --help         this text\n"
    "On a terminal a progress line shows files, bytes and percent, and a summary\n"
    "ends the run. Errors and warnings go to stderr, each after the file it\n"
    "concerns.\n"
    "Exit status:\n"
    "  0    every entry extracted (files kept with \"File Exists\" included)\n"
    "  1    failure: the run stopped at the entry named in the message; the files\n"
    "       before it stay, nothing of that entry is left\n"
    "  2    usage error\n"
    "  3    extracted, but the data of an entry were damaged (\"CRC Does Not\n"
    "       Match\" or \"Incorrect File Size\"); its file was kept\n"
    "  130  interrupted (Ctrl-C, Ctrl-Break, SIGINT); 129 SIGHUP or the console\n"
    "       closed, 143 SIGTERM. The entry being written is removed\n";

namespace {

bool isOption(const std::string& arg) {
  return arg.size() > 1 && arg[0] == '-';
}

bool checkOperands(Options& options, const std::vector<std::string>& operands,
                   std::string& problem) {
  if (options.tsv && !options.list) {
    problem = "--tsv goes with --list";
    return false;
  }
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
    } else if (arg == "--version") {
      options.version = true;
      return options;
    } else if (arg == "--tsv") {
      options.tsv = true;
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
