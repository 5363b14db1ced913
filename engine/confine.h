// Keeps entries inside the destination: entry names are joined to it as
// they stand, so a name could otherwise climb out of it or name another
// drive or server.
#pragma once

#include <string>

namespace extractor {

// Removes ".." components, leading separators, a drive prefix ("C:", with
// or without a separator) and a UNC prefix ("\\server\share", "\\?\C:")
// from the name; true when anything was removed.
bool ConfineEntryPath(std::u16string& directoryName, std::u16string& fileName);

}  // namespace extractor
