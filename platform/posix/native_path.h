#pragma once

#include <string>

namespace extractor::platform {

// A path in the ANSI code page as Linux takes it: UTF-8, with "\" turned
// into "/" so that Windows-style paths name the same folders.
std::string nativePath(const std::string& ansiPath);

}  // namespace extractor::platform
