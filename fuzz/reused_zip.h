// One Zip object for all runs of a fuzzing process: constructing it builds
// the decoder's tables, which would cost more than most runs. Each run
// starts from what a fresh object holds.
#pragma once

#include "engine/zip.h"

namespace extractor::fuzz {

inline Zip& freshZip() {
  static Zip& zip = *new Zip;
  zip.busy = false;
  zip.Reset();
  zip.password.reset();
  zip.bufferKiB = 1024;
  zip.bytesDone = 0;
  zip.batchRunning = false;
  zip.lastErrorText.clear();
  zip.warningsText.reset();
  zip.currentName.reset();
  zip.window = nullptr;
  return zip;
}

}  // namespace extractor::fuzz
