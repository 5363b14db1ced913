#include "platform/thread.h"

#include <windows.h>

namespace extractor::platform {

void closeThreadHandle(void* thread) {
  if (thread) CloseHandle(static_cast<HANDLE>(thread));
}

}  // namespace extractor::platform
