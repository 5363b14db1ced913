#pragma once

namespace extractor::platform {

// Closes the shell's handle of a finished worker thread; null is ignored.
void closeThreadHandle(void* thread);

}  // namespace extractor::platform
