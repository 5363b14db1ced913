// extractor-cli: the extraction engine without a window, for scripts,
// tests and benchmarks.
#include <cstdio>

#include "commands.h"
#include "options.h"
#include "platform/console.h"
#include "version.h"

int main(int argc, char** argv) {
  using namespace extractor;
  platform::useUtf8Output();
  std::string problem;
  std::optional<cli::Options> options =
      cli::parseOptions(platform::commandLineArguments(argc, argv), problem);
  if (!options) {
    std::fprintf(stderr, "extractor-cli: %s\n%s", problem.c_str(), cli::kUsage);
    return cli::kExitUsage;
  }
  if (options->help) {
    std::fputs(cli::kHelp, stdout);
    return cli::kExitSuccess;
  }
  if (options->version) {
    std::puts("extractor-cli " EXTRACTOR_VERSION_TEXT);
    return cli::kExitSuccess;
  }
  return options->list ? cli::listArchive(*options) : cli::extractArchive(*options);
}
