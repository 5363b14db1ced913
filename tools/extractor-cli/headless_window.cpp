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

}  // namespace

void HeadlessWindow::ShowPasswordDialog(Zip& zip) {
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
  if (zip.warningsText) printLine(stderr, *zip.warningsText);
}

}  // namespace extractor::cli
