// Paths as the file calls take them past 260 characters. UTF-16 as the
// engine holds it; the wide-character calls take it as it is.
#pragma once

#include <string>

namespace extractor::platform {

// path made absolute and normalised ("." and ".." resolved, "/" turned into
// "\"), in the "\\?\" form ("\\?\UNC\server\share\..." for a network path),
// which the file calls accept up to 32,767 characters whatever the system's
// long-path setting. Device paths ("\\.\") and paths already in that form
// are kept; a path the system cannot make absolute is kept as it is.
// suffix, when given, is appended (a stream name such as ":Zone.Identifier").
std::u16string extendedPath(const std::u16string& path, const char16_t* suffix = u"");

}  // namespace extractor::platform
