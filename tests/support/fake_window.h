// A window that records what the engine asked of it and answers the
// password dialog from a script.
#pragma once

#include <deque>
#include <functional>
#include <optional>
#include <string>

#include "engine/window.h"
#include "engine/zip.h"

namespace extractor::test {

class FakeWindow : public Window {
 public:
  explicit FakeWindow(Zip& zip) : zip_(zip) { zip.window = this; }
  ~FakeWindow() override { zip_.window = nullptr; }

  void Refresh(Zip& zip) override {
    refreshes++;
    if (onRefresh) onRefresh(zip);
  }
  void PumpMessages(Zip&) override { pumps++; }
  void ShowPasswordDialog(Zip& zip) override {
    passwordDialogs++;
    if (answers.empty()) {
      zip.abortRequest = -1;  // Cancel
      return;
    }
    zip.password = answers.front();
    answers.pop_front();
  }
  void ShowWarningsDialog(Zip& zip) override {
    warningsDialogs++;
    shownWarnings = zip.warningsText.value_or(u"");
  }

  int refreshes = 0;
  int pumps = 0;
  int passwordDialogs = 0;
  int warningsDialogs = 0;
  std::u16string shownWarnings;
  std::deque<std::u16string> answers;  // typed passwords, then Cancel
  std::function<void(Zip&)> onRefresh;

 private:
  Zip& zip_;
};

}  // namespace extractor::test
