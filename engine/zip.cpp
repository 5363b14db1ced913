#include "engine/zip.h"

#include <mutex>

#include "engine/report_error.h"
#include "inflate/inflate.h"

namespace extractor {

Zip::Zip() {
  buildInflateTables();
}

Zip::~Zip() {
  busy = false;
  Reset();
}

int32_t Zip::Reset() {
  if (busy) return ReportError(*this, zipErrBusy);
  entries.clear();
  currentEntry = nullptr;
  bytesTotal = 0;
  abortRequest = 0;
  Encryption = zipNoEncryption;
  return 0;
}

std::optional<std::u16string> Zip::CurrentName() const {
  std::lock_guard<platform::Lock> hold(textLock_);
  return currentName;
}

void Zip::SetCurrentName(const std::u16string& name) {
  std::lock_guard<platform::Lock> hold(textLock_);
  currentName = name;
}

void Zip::ClearCurrentName() {
  std::lock_guard<platform::Lock> hold(textLock_);
  currentName.reset();
}

std::u16string Zip::LastErrorText() const {
  std::lock_guard<platform::Lock> hold(textLock_);
  return lastErrorText;
}

void Zip::SetLastErrorText(const std::u16string& text) {
  std::lock_guard<platform::Lock> hold(textLock_);
  lastErrorText = text;
}

void Zip::Refresh() {
  if (window) window->Refresh(*this);
}

void Zip::PumpMessages() {
  if (window) window->PumpMessages(*this);
}

void Zip::ShowPasswordDialog() {
  if (window) window->ShowPasswordDialog(*this);
}

void Zip::ShowWarningsDialog() {
  if (window) window->ShowWarningsDialog(*this);
}

}  // namespace extractor
