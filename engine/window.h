// The engine's only way to the user interface. The Windows shell implements
// it with its window procedure, message pump and dialogs; tests and the
// command-line runner implement it without a window. Every call is made on
// the engine's own thread.
#pragma once

namespace extractor {

class Zip;

class Window {
 public:
  virtual ~Window() = default;

  // Repaint from the Zip object's busy, bytesDone and currentName.
  virtual void Refresh(Zip& zip) = 0;

  // Drain the calling thread's message queue.
  virtual void PumpMessages(Zip& zip) = 0;

  // Modal password prompt: OK stores the typed text in zip.password,
  // Cancel sets zip.abortRequest to -1.
  virtual void ShowPasswordDialog(Zip& zip) = 0;

  // Modal display of zip.warningsText.
  virtual void ShowWarningsDialog(Zip& zip) = 0;
};

}  // namespace extractor
