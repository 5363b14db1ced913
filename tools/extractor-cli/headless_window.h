// The engine's window on a command line: nothing to paint and no messages.
// The password dialog is answered once, from the command line or a prompt
// on the terminal, and as Cancel after that, so a wrong password ends the
// run instead of asking forever. Warnings go to stderr.
#pragma once

#include <optional>
#include <string>

#include "engine/window.h"

namespace extractor::cli {

class HeadlessWindow : public Window {
 public:
  explicit HeadlessWindow(std::optional<std::u16string> password)
      : password_(std::move(password)) {}

  void Refresh(Zip&) override {}
  void PumpMessages(Zip&) override {}
  void ShowPasswordDialog(Zip& zip) override;
  void ShowWarningsDialog(Zip& zip) override;

 private:
  std::optional<std::u16string> password_;
  bool answered_ = false;
};

}  // namespace extractor::cli
