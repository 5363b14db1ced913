// Volume labels of the drives that hold spanned archives.
#pragma once

#include <string>

namespace extractor::platform {

// The label of the volume whose root is given ("C:\"), or of the current
// volume when root is empty. Empty when the volume cannot be read (no disk).
std::u16string volumeLabel(const std::u16string& root);

}  // namespace extractor::platform
