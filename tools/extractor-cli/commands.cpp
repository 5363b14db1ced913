#include "commands.h"

#include <cstdio>

#include "console_text.h"
#include "engine/report_error.h"
#include "engine/utf8.h"
#include "engine/zip.h"
#include "headless_window.h"
#include "listing.h"
#include "platform/console.h"
#include "platform/file.h"
#include "platform/host.h"

namespace extractor::cli {
namespace {

std::optional<std::u16string> widePassword(const Options& options) {
  if (!options.password) return std::nullopt;
  return decodeUtf8(*options.password);
}

// The directory reader takes a missing file for one without an archive:
// the user is told what it is instead.
int checkArchive(const std::string& archive) {
  platform::PathKind kind = platform::pathKind(decodeUtf8(archive));
  ZipError code = zipErrNone;
  if (kind == platform::PathKind::Missing) code = zipErrFileNotFound;
  if (kind == platform::PathKind::Folder) code = zipErrOpenForReading;
  if (code == zipErrNone) return kExitSuccess;
  printProblem(archive, ZipErrorMessage(code));
  return kExitFailure;
}

// A file the system refused to write: its own words say why.
bool isWriteError(const std::u16string& message) {
  return message == ZipErrorMessage(zipErrWriteFailed) ||
         message == ZipErrorMessage(zipErrDiskFull) || message == ZipErrorMessage(zipErrFileInUse);
}

// The error after the file it concerns: the entry the run stopped at, or
// the archive when no entry was begun.
int fail(const Zip& zip, const Options& options) {
  std::u16string message = zip.LastErrorText();
  std::string where =
      zip.currentEntry ? targetPath(options.destination, *zip.currentEntry) : options.archive;
  printProblem(where, message, isWriteError(message) ? platform::lastFileFailureText() : "");
  if (int status = platform::interruptStatus()) return status;
  return kExitFailure;
}

}  // namespace

int listArchive(const Options& options) {
  if (int status = checkArchive(options.archive)) return status;
  Zip zip;
  if (zip.ReadDirectory(decodeUtf8(options.archive)) != 0) return fail(zip, options);
  if (!options.tsv) {
    std::fputs(listingTable(zip.entries).c_str(), stdout);
    return kExitSuccess;
  }
  for (const ZipEntry& entry : zip.entries) {
    std::string line = listingLine(entry) + "\n";
    std::fputs(line.c_str(), stdout);
  }
  return kExitSuccess;
}

int extractArchive(const Options& options) {
  if (int status = checkArchive(options.archive)) return status;
  Zip zip;
  std::optional<std::u16string> password = widePassword(options);
  HeadlessWindow window(password, options.destination);
  zip.window = &window;
  if (zip.ReadDirectory(decodeUtf8(options.archive)) != 0) return fail(zip, options);
  const bool terminal = platform::stderrIsTerminal();
  window.startProgress(zip, terminal);
  zip.busy = true;
  int16_t overwrite = options.overwrite ? -1 : 0;
  // Ctrl-C and its kin act as the window's Abort: the entry being written
  // goes, the files before it stay.
  platform::catchInterrupts(&zip.abortRequest);
  int32_t result = zip.ExtractAll(decodeUtf8(options.destination), -1, overwrite, password);
  platform::catchInterrupts(nullptr);
  zip.busy = false;
  window.endProgress();
  if (result != 0) {
    window.printWarnings(zip);
    return fail(zip, options);
  }
  if (terminal) {
    std::string summary =
        summaryLine(window.filesWritten(), window.bytesWritten(), window.seconds()) + "\n";
    std::fputs(summary.c_str(), stderr);
  }
  return window.dataDamaged() ? kExitDamaged : kExitSuccess;
}

}  // namespace extractor::cli
