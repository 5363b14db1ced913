// The program's window as the engine meets it, on two threads. The test's
// own thread plays the user-interface thread: its message loop serves the
// calls the worker makes on the window, repaints, and carries out what the
// user does (Unzip, Abort, Close, typing a password). The worker runs
// ExtractAll. As with cross-thread calls on real windows, a worker that
// sets the status text or the progress bar, or shows a dialog, waits
// until the user-interface thread has served the call.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "engine/window.h"
#include "engine/zip.h"

namespace extractor::test {

class Shell : public Window {
 public:
  explicit Shell(Zip& zip);
  // Ends a run still going as Close would, within a time limit.
  ~Shell() override;

  // The user's actions; user-interface thread only.
  void pressUnzip(const std::u16string& archive, const std::u16string& destination);
  void pressAbort();
  void pressClose();
  // The message loop until done() holds; false when time ran out first.
  bool runUntil(const std::function<bool()>& done,
                std::chrono::milliseconds limit = std::chrono::seconds(60));
  // Until the worker has ended and the window has handled its result.
  bool runUntilIdle();

  // What the user saw and did.
  std::vector<std::u16string> errorsShown;
  std::vector<std::u16string> warningsShown;
  std::u16string statusText = u" ";
  uint32_t barPosition = 0;
  int passwordPrompts = 0;
  int workersStarted = 0;
  bool overwrite = false;
  std::deque<std::optional<std::u16string>> typedPasswords;  // nullopt: Cancel
  // Called on every repaint of the user-interface thread.
  std::function<void(Shell&)> onPaint;
  // A call of the worker that the user-interface thread never served.
  std::atomic<bool> callTimedOut{false};

  // The engine's calls.
  void Refresh(Zip& zip) override;
  void PumpMessages(Zip& zip) override;
  void ShowPasswordDialog(Zip& zip) override;
  void ShowWarningsDialog(Zip& zip) override;

 private:
  struct Call {
    std::function<void()> run;
    bool done = false;
  };

  bool onUserInterfaceThread() const { return std::this_thread::get_id() == uiThread_; }
  void prologue();
  void paint();
  void startUnzip(const std::u16string& destination);
  void unzipThreadProc();
  void joinEndedWorkers();
  // Worker side: hands the call to the user-interface thread and waits.
  void send(std::function<void()> run);
  // User-interface side: runs the calls that wait.
  void serve();

  Zip& zip_;
  std::thread::id uiThread_;
  std::mutex lock_;
  std::condition_variable served_;
  std::deque<std::shared_ptr<Call>> calls_;
  std::vector<std::thread> workers_;
  std::atomic<bool> workerRunning_{false};
  std::atomic<int32_t> fileCount_{0};
  std::atomic<uint64_t> lastShownDone_{0};
};

}  // namespace extractor::test
