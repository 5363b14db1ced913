// Paths as the file calls take them past 260 characters.
#pragma once

#include <string>

namespace extractor::platform {

// path made absolute and normalised ("." and ".." resolved, "/" turned into
// "\"), in the "\\?\" form ("\\?\UNC\server\share\..." for a network path),
// which the file calls accept up to 32,767 characters whatever the system's
// long-path setting. Device paths ("\\.\") and paths already in that form
// are kept; a path the system cannot make absolute is kept as it is.
std::wstring extendedPath(const std::u16string& path);

}  // namespace extractor::platform
