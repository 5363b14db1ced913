#include "platform/thread.h"

namespace extractor::platform {

// Threads are joined, not closed, here.
void closeThreadHandle(void*) {}

}  // namespace extractor::platform
