#pragma once

#include <string>

namespace extractor::platform {

// A path of the engine as Linux takes it: UTF-8, with "\" turned into "/"
// so that Windows-style paths name the same folders. A surrogate without
// its partner, which no file name of an archive decodes to, becomes U+FFFD.
std::string nativePath(const std::u16string& path);

}  // namespace extractor::platform
