#include "commands.h"

#include <cstdio>

#include "console_text.h"
#include "engine/utf8.h"
#include "engine/zip.h"
#include "headless_window.h"
#include "listing.h"

namespace extractor::cli {
namespace {

int fail(const Zip& zip) {
  printLine(stderr, zip.lastErrorText);
  return kExitFailure;
}

std::optional<std::u16string> widePassword(const Options& options) {
  if (!options.password) return std::nullopt;
  return decodeUtf8(*options.password);
}

}  // namespace

int listArchive(const Options& options) {
  Zip zip;
  if (zip.ReadDirectory(decodeUtf8(options.archive)) != 0) return fail(zip);
  for (const ZipEntry& entry : zip.entries) {
    std::string line = listingLine(entry) + "\n";
    std::fputs(line.c_str(), stdout);
  }
  return kExitSuccess;
}

int extractArchive(const Options& options) {
  Zip zip;
  std::optional<std::u16string> password = widePassword(options);
  HeadlessWindow window(password);
  zip.window = &window;
  if (zip.ReadDirectory(decodeUtf8(options.archive)) != 0) return fail(zip);
  zip.busy = true;
  int16_t overwrite = options.overwrite ? -1 : 0;
  int32_t result = zip.ExtractAll(decodeUtf8(options.destination), -1, overwrite, password);
  zip.busy = false;
  if (result != 0) return fail(zip);
  return kExitSuccess;
}

}  // namespace extractor::cli
