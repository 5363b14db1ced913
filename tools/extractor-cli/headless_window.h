// The engine's window on a command line: a progress line instead of the
// progress bar, and no messages. The password dialog is answered once, from
// the command line or a prompt on the terminal, and as Cancel after that,
// so a wrong password ends the run instead of asking forever. Warnings go
// to stderr, each after the path of its file.
#pragma once

#include <chrono>
#include <optional>
#include <string>

#include "engine/window.h"
#include "tools/common/progress_line.h"

namespace extractor::cli {

class HeadlessWindow : public Window {
 public:
  static constexpr std::chrono::milliseconds kRedraw{250};

  HeadlessWindow(std::optional<std::u16string> password, std::string destination)
      : password_(std::move(password)), destination_(std::move(destination)) {}

  // Before the run: the totals the progress line counts towards.
  void startProgress(const Zip& zip, bool shown);
  // Ends the progress line, so that messages start on their own line.
  void endProgress() { progress_.end(); }

  void Refresh(Zip& zip) override;
  void PumpMessages(Zip&) override {}
  void ShowPasswordDialog(Zip& zip) override;
  void ShowWarningsDialog(Zip& zip) override;

  // The warnings the entries hold, as the end of a run shows them: for a
  // run that failed, those gathered before the failure.
  void printWarnings(const Zip& zip);

  // An entry got "CRC Does Not Match" or "Incorrect File Size".
  bool dataDamaged() const { return damaged_; }
  // After a run that went through: the files written, those kept with
  // "File Exists" left out.
  uint64_t filesWritten() const { return totalFiles_ - kept_; }
  uint64_t bytesWritten() const { return bytes_; }
  double seconds() const { return progress_.seconds(); }

 private:
  std::optional<std::u16string> password_;
  bool answered_ = false;
  std::string destination_;
  tools::ProgressLine progress_{false, 0, 0, kRedraw};
  // File entries up to the one the run visits.
  size_t counted_ = 0;
  uint64_t files_ = 0;
  uint64_t totalFiles_ = 0;
  uint64_t kept_ = 0;
  uint64_t bytes_ = 0;
  bool damaged_ = false;
};

}  // namespace extractor::cli
