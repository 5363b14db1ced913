#include "options.h"

#include <functional>
#include <map>

namespace extractor::pack {

const char kUsage[] =
    "usage: extractor-pack -o OUTPUT [options] PATH...\n"
    "       extractor-pack -o OUTPUT [options] --from-zip ARCHIVE.zip\n"
    "Makes a self-extracting file: the program (--stub) with a ZIP archive of\n"
    "the files and folders given appended.\n"
    "  -o, --output FILE      the self-extracting file to write, e.g. setup.exe\n"
    "  --level 0-9            compression level, 0 stores (default 6)\n"
    "  --method METHOD        deflate, bzip2, lzma, zstd or xz (default deflate)\n"
    "  --password [TEXT]      encrypt every file; without TEXT, asks on the terminal\n"
    "  --encryption KIND      aes (WinZip AES, the default with a password),\n"
    "                         traditional (weak) or legacy-aes (read by this\n"
    "                         extractor only)\n"
    "  --aes-strength BITS    AES key of 128, 192 or 256 bits (default 256)\n"
    "  --aes-kind 2|3|4       legacy-aes rounds: 2, 8 or 14 (default 4: 14 rounds)\n"
    "  --from-zip ARCHIVE     copy the entries of an existing ZIP archive as they are\n"
    "  --split SIZE           volume files beside OUTPUT (setup.001, ..., setup.zip) of\n"
    "                         at most SIZE bytes each (k and M suffixes allowed)\n"
    "  --disks SIZE           removable-disk volumes: one folder per disk of SIZE bytes\n"
    "  --stub PROGRAM         the program in front (default: extractor.exe beside\n"
    "                         extractor-pack)\n"
    "  --workers N            files compressed at once, 1-64 (default: one per\n"
    "                         processor); the archive is the same for any N\n"
    "  --version              the version of this program\n"
    "Installer settings, carried by the file for the program:\n"
    "  --title TEXT           the window's caption\n"
    "  --question TEXT        asked with Yes and No before the window opens\n"
    "  --folder PATH          the default destination; %NAME% variables are expanded\n"
    "  --overwrite            the overwrite check box starts checked\n"
    "  --run \"PROGRAM ARGS\"   run PROGRAM, a file of the archive, after extracting\n"
    "  --temporary            extract to a new folder under TEMP, removed after --run\n"
    "  --auto                 extract at once and close after success\n"
    "  --admin                ask for administrator rights when the file starts\n"
    "  -h, --help             this text\n"
    "Exit status: 0 success, 1 failure, 2 usage error.\n";

std::optional<uint32_t> parseSize(const std::string& text) {
  if (text.empty()) return std::nullopt;
  uint64_t value = 0;
  size_t i = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; i++) {
    value = value * 10 + static_cast<uint64_t>(text[i] - '0');
    if (value > 0xFFFFFFFFull) return std::nullopt;
  }
  if (i == 0) return std::nullopt;
  std::string suffix = text.substr(i);
  if (suffix == "k" || suffix == "K") {
    value *= 1024;
  } else if (suffix == "m" || suffix == "M") {
    value *= 1024 * 1024;
  } else if (!suffix.empty()) {
    return std::nullopt;
  }
  if (value > 0xFFFFFFFFull) return std::nullopt;
  return static_cast<uint32_t>(value);
}

namespace {

bool isOption(const std::string& arg) {
  return arg.size() > 1 && arg[0] == '-';
}

// Checks that concern several options together.
bool checkCombination(Options& options, std::string& problem) {
  if (options.output.empty()) {
    problem = "an output file is needed (-o OUTPUT)";
    return false;
  }
  if (options.fromZip.empty() && options.inputs.empty()) {
    problem = "nothing to pack: give files or folders, or --from-zip";
    return false;
  }
  if (!options.fromZip.empty() && !options.inputs.empty()) {
    problem = "--from-zip takes no other files or folders";
    return false;
  }
  bool encrypting = options.password || options.askPassword;
  if (!options.fromZip.empty() && encrypting) {
    problem = "--from-zip copies entries as they are: no --password";
    return false;
  }
  if (options.encryption != Encryption::None && !encrypting) {
    problem = "--encryption needs --password";
    return false;
  }
  if (encrypting && options.encryption == Encryption::None) options.encryption = Encryption::Aes;
  if (options.aesKindGiven && options.encryption != Encryption::LegacyAes) {
    problem = "--aes-kind belongs to --encryption legacy-aes";
    return false;
  }
  if (options.aesStrengthGiven && options.encryption != Encryption::Aes) {
    problem = "--aes-strength belongs to --encryption aes";
    return false;
  }
  if (options.splitSize && options.diskSize) {
    problem = "--split and --disks exclude each other";
    return false;
  }
  return true;
}

// The installer's options: true when arg is one of them, taking its value
// from inlineValue or the next argument; false with problem set when that
// fails.
bool installerOption(const std::string& arg, const std::optional<std::string>& inlineValue,
                     const std::vector<std::string>& args, size_t& i, InstallerOptions& installer,
                     std::string& problem, bool& taken) {
  const std::pair<const char*, bool*> flags[] = {{"--overwrite", &installer.overwrite},
                                                 {"--temporary", &installer.temporary},
                                                 {"--auto", &installer.autoStart},
                                                 {"--admin", &installer.admin}};
  const std::pair<const char*, std::string*> texts[] = {{"--title", &installer.title},
                                                        {"--question", &installer.question},
                                                        {"--folder", &installer.folder},
                                                        {"--run", &installer.run}};
  taken = true;
  for (const auto& [name, flag] : flags) {
    if (arg != name) continue;
    if (inlineValue) {
      problem = arg + " takes no value";
      return false;
    }
    *flag = true;
    return true;
  }
  for (const auto& [name, text] : texts) {
    if (arg != name) continue;
    if (!inlineValue && i + 1 == args.size()) {
      problem = arg + " needs a value";
      return false;
    }
    *text = inlineValue ? *inlineValue : args[++i];
    if (text->empty()) {
      problem = arg + " needs a value";
      return false;
    }
    return true;
  }
  taken = false;
  return true;
}

}  // namespace

std::optional<Options> parseOptions(const std::vector<std::string>& args, std::string& problem) {
  Options options;
  bool optionsEnded = false;
  // Options that take a value: the value's text to the option's effect,
  // false with problem set when the value is refused.
  using Setter = std::function<bool(const std::string&)>;
  std::map<std::string, Setter> valued = {
      {"--output", [&](const std::string& v) { return options.output = v, true; }},
      {"--level",
       [&](const std::string& v) {
         if (v.size() != 1 || v[0] < '0' || v[0] > '9') {
           problem = "--level takes 0 to 9, not " + v;
           return false;
         }
         options.level = v[0] - '0';
         return true;
       }},
      {"--method",
       [&](const std::string& v) {
         const PackMethod* row = findPackMethod(v);
         if (!row) {
           problem = "--method takes " + packMethodNames() + ", not " + v;
           return false;
         }
         options.method = row->method;
         return true;
       }},
      {"--encryption",
       [&](const std::string& v) {
         if (v == "traditional") {
           options.encryption = Encryption::Traditional;
         } else if (v == "aes") {
           options.encryption = Encryption::Aes;
         } else if (v == "legacy-aes") {
           options.encryption = Encryption::LegacyAes;
         } else {
           problem = "--encryption takes aes, traditional or legacy-aes, not " + v;
           return false;
         }
         return true;
       }},
      {"--aes-kind",
       [&](const std::string& v) {
         if (v != "2" && v != "3" && v != "4") {
           problem = "--aes-kind takes 2, 3 or 4, not " + v;
           return false;
         }
         options.aesKind = v[0] - '0';
         options.aesKindGiven = true;
         return true;
       }},
      {"--aes-strength",
       [&](const std::string& v) {
         if (v != "128" && v != "192" && v != "256") {
           problem = "--aes-strength takes 128, 192 or 256, not " + v;
           return false;
         }
         options.aesStrength = v == "128" ? 1 : v == "192" ? 2 : 3;
         options.aesStrengthGiven = true;
         return true;
       }},
      {"--from-zip", [&](const std::string& v) { return options.fromZip = v, true; }},
      {"--stub", [&](const std::string& v) { return options.stub = v, true; }},
      {"--workers",
       [&](const std::string& v) {
         unsigned n = 0;
         for (char c : v) n = c >= '0' && c <= '9' && n < 100 ? n * 10 + (c - '0') : 1000;
         if (v.empty() || n < 1 || n > 64) {
           problem = "--workers takes 1 to 64, not " + v;
           return false;
         }
         options.workers = n;
         return true;
       }},
  };
  for (const char* sized : {"--split", "--disks"}) {
    std::string name = sized;
    valued[name] = [&, name](const std::string& v) {
      std::optional<uint32_t> size = parseSize(v);
      if (!size || *size < kSmallestVolume) {
        problem = name + " takes a size of at least 64k below 4 GB, not " + v;
        return false;
      }
      (name == "--split" ? options.splitSize : options.diskSize) = *size;
      return true;
    };
  }
  valued["-o"] = valued["--output"];

  for (size_t i = 0; i < args.size(); i++) {
    std::string arg = args[i];
    if (optionsEnded || !isOption(arg)) {
      options.inputs.push_back(arg);
      continue;
    }
    if (arg == "--") {
      optionsEnded = true;
      continue;
    }
    if (arg == "--help" || arg == "-h") {
      options.help = true;
      return options;
    }
    std::optional<std::string> inlineValue;
    size_t equals = arg.find('=');
    if (arg.compare(0, 2, "--") == 0 && equals != std::string::npos) {
      inlineValue = arg.substr(equals + 1);
      arg = arg.substr(0, equals);
    }
    if (arg == "--password") {
      // Without a value (last, or before another option) it is asked for.
      if (inlineValue) {
        options.password = *inlineValue;
      } else if (i + 1 < args.size() && !isOption(args[i + 1])) {
        options.password = args[++i];
      } else {
        options.askPassword = true;
      }
      continue;
    }
    bool taken = false;
    if (!installerOption(arg, inlineValue, args, i, options.installer, problem, taken)) {
      return std::nullopt;
    }
    if (taken) continue;
    auto found = valued.find(arg);
    if (found == valued.end()) {
      problem = "unknown option " + arg;
      return std::nullopt;
    }
    if (!inlineValue && i + 1 == args.size()) {
      problem = arg + " needs a value";
      return std::nullopt;
    }
    if (!found->second(inlineValue ? *inlineValue : args[++i])) return std::nullopt;
  }
  if (!checkCombination(options, problem)) return std::nullopt;
  return options;
}

std::optional<std::string> encryptionWarning(const Options& options) {
  if (options.encryption != Encryption::LegacyAes) return std::nullopt;
  std::string text =
      "warning: legacy-aes enciphers each 16-byte block on its own, keys AES with the "
      "password's characters themselves (no salt, no key stretching) and authenticates "
      "nothing; only this extractor reads it. Use --encryption aes.";
  if (options.aesKind != 4) {
    text += " Kind " + std::to_string(options.aesKind) + " runs " +
            (options.aesKind == 2 ? "2" : "8") + " of AES's 14 rounds and is weak.";
  }
  return text;
}

}  // namespace extractor::pack
