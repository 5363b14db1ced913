// The system's error code behind lastFileFailure(), for the text that
// describes it.
#pragma once

namespace extractor::platform {

// GetLastError() of the latest failed open, write or folder creation; 0
// when none has failed.
unsigned long lastFailureCode();

}  // namespace extractor::platform
