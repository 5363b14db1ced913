#include "headless_window.h"

#include "console_text.h"
#include "engine/utf8.h"
#include "engine/zip.h"
#include "platform/console.h"

namespace extractor::cli {
namespace {

std::optional<std::u16string> promptForPassword() {
  if (!platform::stdinIsTerminal()) return std::nullopt;
  std::optional<std::string> typed = platform::readPassword("Password: ");
  if (!typed) return std::nullopt;
  return decodeUtf8(*typed);
}

bool isFileEntry(const ZipEntry& entry) {
  return !entry.fileName.empty();
}

}  // namespace

void HeadlessWindow::startProgress(const Zip& zip, bool shown) {
  totalFiles_ = 0;
  for (const ZipEntry& entry : zip.entries) totalFiles_ += isFileEntry(entry) ? 1 : 0;
  progress_ = tools::ProgressLine(shown, totalFiles_, zip.bytesTotal, kRedraw);
}

void HeadlessWindow::Refresh(Zip& zip) {
  // The count moves on with the entry visited; the engine zeroes its byte
  // count when the run ends.
  if (zip.currentEntry) {
    size_t visited = static_cast<size_t>(zip.currentEntry - zip.entries.data()) + 1;
    for (; counted_ < visited && counted_ < zip.entries.size(); counted_++) {
      files_ += isFileEntry(zip.entries[counted_]) ? 1 : 0;
    }
  }
  if (zip.bytesDone > bytes_) bytes_ = zip.bytesDone;
  progress_.update(files_, bytes_);
}

void HeadlessWindow::ShowPasswordDialog(Zip& zip) {
  progress_.end();
  std::optional<std::u16string> answer;
  if (!answered_) answer = password_ ? password_ : promptForPassword();
  answered_ = true;
  if (answer) {
    zip.password = *answer;
  } else {
    zip.abortRequest = -1;
  }
}

void HeadlessWindow::ShowWarningsDialog(Zip& zip) {
  Refresh(zip);
  progress_.end();
  printWarnings(zip);
}

void HeadlessWindow::printWarnings(const Zip& zip) {
  for (const ZipEntry& entry : zip.entries) {
    for (int32_t i = 1; i <= entry.warnings.Count(); i++) {
      std::u16string text;
      entry.warnings.Item(i, text);
      if (text == u"CRC Does Not Match" || text == u"Incorrect File Size") damaged_ = true;
      if (text == u"File Exists") kept_++;
      printProblem(targetPath(destination_, entry), text);
    }
  }
}

}  // namespace extractor::cli
