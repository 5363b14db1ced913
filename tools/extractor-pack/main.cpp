// extractor-pack: makes self-extracting files, the extractor with a ZIP
// archive appended whose offsets count the program in front of it.
#include <csignal>
#include <cstdio>

#include "engine/utf8.h"
#include "options.h"
#include "packer.h"
#include "platform/console.h"
#include "platform/text.h"
#include "version.h"

namespace {

constexpr int kExitSuccess = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

extern "C" void onInterrupt(int) {
  extractor::pack::requestStop();
}

int usageError(const std::string& problem) {
  std::fprintf(stderr, "extractor-pack: %s\n%s", problem.c_str(), extractor::pack::kUsage);
  return kExitUsage;
}

int failure(const std::string& message) {
  std::fprintf(stderr, "extractor-pack: %s\n", message.c_str());
  return kExitFailure;
}

// Asks twice, without echo, so that a typing error is not packed in.
std::optional<std::string> askPassword() {
  std::optional<std::string> first = extractor::platform::readPassword("Password: ");
  if (!first) return std::nullopt;
  std::optional<std::string> again = extractor::platform::readPassword("Password again: ");
  if (!again || *again != *first) return std::nullopt;
  return first;
}

std::string sizeText(uint64_t bytes) {
  char text[32];
  if (bytes < 1000) {
    std::snprintf(text, sizeof text, "%u bytes", static_cast<unsigned>(bytes));
  } else {
    std::snprintf(text, sizeof text, bytes < 1000000 ? "%.1f kB" : "%.1f MB",
                  bytes < 1000000 ? bytes / 1e3 : bytes / 1e6);
  }
  return text;
}

// "3 entries packed into 1.2 MB (35.0% of 3.4 MB): setup.exe"
void printSummary(const extractor::pack::PackSummary& summary) {
  std::printf("%zu entries packed into %s", summary.entries, sizeText(summary.outputBytes).c_str());
  if (summary.inputBytes > 0) {
    std::printf(" (%.1f%% of %s)", 100.0 * summary.outputBytes / summary.inputBytes,
                sizeText(summary.inputBytes).c_str());
  }
  std::printf(summary.files.size() == 1 ? ": " : ":\n  ");
  for (size_t i = 0; i < summary.files.size(); i++) {
    std::printf("%s%s", i ? "\n  " : "", summary.files[i].u8string().c_str());
  }
  std::printf("\n");
}

}  // namespace

int main(int argc, char** argv) {
  using namespace extractor;
  platform::useUtf8Output();
  std::vector<std::string> args = platform::commandLineArguments(argc, argv);
  if (args.size() == 1 && args[0] == "--version") {
    std::puts("extractor-pack " EXTRACTOR_VERSION_TEXT);
    return kExitSuccess;
  }
  std::string problem;
  std::optional<pack::Options> options = pack::parseOptions(args, problem);
  if (!options) return usageError(problem);
  if (options->help) {
    std::fputs(pack::kUsage, stdout);
    return kExitSuccess;
  }
  if (std::optional<std::string> warning = pack::encryptionWarning(*options)) {
    std::fprintf(stderr, "extractor-pack: %s\n", warning->c_str());
  }
  if (options->askPassword) {
    if (!platform::stdinIsTerminal()) {
      return usageError("--password needs a value when it cannot be asked on a terminal");
    }
    options->password = askPassword();
    if (!options->password) return failure("the passwords given differ");
  }
  if (options->password && options->password->empty()) return usageError("empty password");
  // The extractor keys the traditional cipher and its own AES with the
  // password's bytes in the system's ANSI code page; WinZip AES takes the
  // UTF-8 of options->password.
  std::string ansiPassword;
  if (options->password) {
    ansiPassword =
        platform::wideToAnsi(decodeUtf8(*options->password), platform::Unmappable::Question);
  }
  std::signal(SIGINT, onInterrupt);
  std::signal(SIGTERM, onInterrupt);
  pack::PackSummary summary;
  pack::Error e = pack::pack(*options, ansiPassword, summary);
  for (const std::string& warning : summary.warnings) {
    std::fprintf(stderr, "extractor-pack: warning: %s\n", warning.c_str());
  }
  if (e) return failure(*e);
  printSummary(summary);
  return kExitSuccess;
}
