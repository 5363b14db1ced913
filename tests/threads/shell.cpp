#include "shell.h"

#include "engine/report_error.h"

namespace extractor::test {

using namespace std::chrono_literals;

namespace {

constexpr auto kCallLimit = 30s;

std::u16string successText(int32_t files) {
  std::u16string text = u"Successfully Unzipped ";
  for (char c : std::to_string(files)) text += static_cast<char16_t>(c);
  return text + (files == 1 ? u" file" : u" files");
}

}  // namespace

Shell::Shell(Zip& zip) : zip_(zip), uiThread_(std::this_thread::get_id()) {
  zip.window = this;
}

Shell::~Shell() {
  onPaint = nullptr;  // what it refers to may be gone
  if (workerRunning_) pressClose();
  runUntil([this] { return !workerRunning_; }, kCallLimit);
  for (std::thread& worker : workers_) {
    // A worker that never ends must not hang the test program as well.
    if (workerRunning_) {
      worker.detach();
    } else {
      worker.join();
    }
  }
  zip_.window = nullptr;
}

// Every call of the window procedure starts so, on whichever thread.
void Shell::prologue() {
  int32_t result = zip_.runResult.exchange(0);
  if (result != 0) errorsShown.push_back(zip_.LastErrorText());
  // The collection is emptied on this thread, and only once the worker
  // has ended: error 11103 clears busy while the worker is still
  // returning, and its final refresh comes after busy is clear.
  if (onUserInterfaceThread() && !zip_.busy && !workerRunning_) {
    joinEndedWorkers();
    zip_.ClearCurrentName();
    zip_.Reset();
  }
}

void Shell::joinEndedWorkers() {
  for (std::thread& worker : workers_) {
    if (worker.joinable()) worker.join();
  }
  workers_.clear();
}

void Shell::paint() {
  std::u16string text = u" ";
  bool busy = zip_.busy;
  if (busy) {
    text = u"Unzipping: " + zip_.CurrentName().value_or(u"");
  } else if (lastShownDone_ != 0) {
    text = successText(fileCount_);
  }
  uint64_t done = zip_.bytesDone;
  uint64_t total = zip_.bytesTotal;
  std::optional<uint32_t> position;
  if (total != 0) position = static_cast<uint32_t>(done * 65535 / total);
  if (!busy) position = 0;
  auto apply = [this, text, position] {
    statusText = text;
    if (position) barPosition = *position;
  };
  if (onUserInterfaceThread()) {
    apply();
  } else {
    send(apply);
  }
  lastShownDone_ = done;
}

void Shell::Refresh(Zip&) {
  prologue();
  paint();
}

void Shell::PumpMessages(Zip&) {
  // The worker's own queue holds nothing: its windows are the dialogs,
  // and those are modal.
}

void Shell::ShowPasswordDialog(Zip& zip) {
  std::optional<std::u16string> answer;
  send([this, &answer] {
    passwordPrompts++;
    if (!typedPasswords.empty()) {
      answer = typedPasswords.front();
      typedPasswords.pop_front();
    }
  });
  // The dialog belongs to the worker: its OK and Cancel run there.
  if (answer) {
    zip.password = *answer;
  } else {
    zip.abortRequest = -1;
  }
}

void Shell::ShowWarningsDialog(Zip& zip) {
  std::u16string text = zip.warningsText.value_or(u"");
  send([this, text] { warningsShown.push_back(text); });
  zip.warningsText.reset();
}

void Shell::send(std::function<void()> run) {
  auto call = std::make_shared<Call>();
  call->run = std::move(run);
  std::unique_lock<std::mutex> hold(lock_);
  calls_.push_back(call);
  if (!served_.wait_for(hold, kCallLimit, [&] { return call->done; })) callTimedOut = true;
}

void Shell::serve() {
  std::unique_lock<std::mutex> hold(lock_);
  while (!calls_.empty()) {
    std::shared_ptr<Call> call = calls_.front();
    calls_.pop_front();
    call->run();
    call->done = true;
  }
  served_.notify_all();
}

bool Shell::runUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
  auto deadline = std::chrono::steady_clock::now() + limit;
  for (;;) {
    serve();
    prologue();
    paint();
    if (onPaint) onPaint(*this);
    if (done()) return true;
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(200us);
  }
}

bool Shell::runUntilIdle() {
  bool ended = runUntil([this] { return !workerRunning_ && !zip_.busy; });
  serve();
  prologue();
  return ended;
}

void Shell::pressUnzip(const std::u16string& archive, const std::u16string& destination) {
  prologue();
  // Busy clear but the worker still returning: the new reading waits for
  // it, so that it starts from an empty collection.
  if (!zip_.busy && workerRunning_) {
    runUntil([this] { return !workerRunning_; }, kCallLimit);
    prologue();
  }
  int32_t read = zip_.ReadDirectory(archive);
  fileCount_ = static_cast<int32_t>(zip_.entries.size());
  if (read == 0) {
    if (!zip_.busy) {
      startUnzip(destination);
      return;
    }
    ReportError(zip_, zipErrBusy);
  }
  errorsShown.push_back(zip_.LastErrorText());
}

void Shell::startUnzip(const std::u16string& destination) {
  zip_.destination = destination;
  zip_.createFolders = -1;
  zip_.overwrite = overwrite ? -1 : 0;
  zip_.busy = true;
  workerRunning_ = true;
  workersStarted++;
  workers_.emplace_back([this] { unzipThreadProc(); });
}

void Shell::unzipThreadProc() {
  int32_t result =
      zip_.ExtractAll(zip_.destination, zip_.createFolders, zip_.overwrite, zip_.password);
  zip_.busy = false;
  zip_.runResult = result;
  workerRunning_ = false;
}

void Shell::pressAbort() {
  prologue();
  zip_.abortRequest = 1;
  barPosition = 0;
  lastShownDone_ = 0;
  zip_.bytesDone = 0;
}

void Shell::pressClose() {
  prologue();
  zip_.abortRequest = 1;
  // The worker's refreshes go on while Close waits; they must be served.
  if (zip_.busy) runUntil([this] { return !zip_.busy; }, kCallLimit);
}

}  // namespace extractor::test
