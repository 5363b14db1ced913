// The worker thread that runs an extraction, and what the user-interface
// thread knows of it.
#pragma once

#include <cstdint>
#include <string>

#include "engine/zip.h"

namespace extractor::app {

// Starts an extraction of zip's entries into destination in the background
// and returns 0 at once; refuses with error 13002 while a run is going on.
int32_t StartUnzip(Zip& zip, const std::u16string& destination, int16_t createFolders,
                   int16_t overwrite);

// True from StartUnzip until the worker has returned from the engine. The
// engine clears busy already while an aborted run is still unwinding, so
// only this tells when the entries may be touched again.
bool WorkerInEngine();

// On the user-interface thread: waits, serving the messages the worker
// sends to its windows, until pred() is false; false when timeoutMs ran
// out first (0 waits without limit).
bool WaitServingWorker(bool (*pred)(), uint32_t timeoutMs);

// Raises the running worker to time-critical priority so that it reaches
// its next abort test soon.
void HurryWorker();

// For Close: hurries the worker, closes a dialog it shows, and waits,
// serving its calls, until busy is clear.
void WaitUntilWorkerIdle();

// At process exit: asks a worker still inside the engine to stop, closes
// the dialogs it shows, and waits for it; a worker that does not end in
// time ends with the process.
void FinishWorker(Zip& zip);

// Closes the handles of a run that has ended.
void ReleaseFinishedWorker(Zip& zip);

}  // namespace extractor::app
