// The engine's way to the window: its refreshes are direct calls of the
// window procedure, its dialogs are owned by the main window.
#pragma once

#include "engine/window.h"

namespace extractor::app {

class ShellWindow : public Window {
 public:
  void Refresh(Zip& zip) override;
  void PumpMessages(Zip& zip) override;
  void ShowPasswordDialog(Zip& zip) override;
  void ShowWarningsDialog(Zip& zip) override;
};

}  // namespace extractor::app
