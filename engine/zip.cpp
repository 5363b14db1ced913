#include "engine/zip.h"

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
  bytesTotal = 0;
  abortRequest = 0;
  Encryption = zipNoEncryption;
  return 0;
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
