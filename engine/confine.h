// Keeps entries inside the destination: entry names are joined to it as
// they stand, so a name could otherwise climb out of it, name another drive
// or server, or name something Windows cannot hold as a file.
#pragma once

#include <string>

namespace extractor {

// Removes ".." components, leading separators (a server and share behind
// two of them become folders), a drive prefix ("C:", with or without a
// separator) and the prefixes "\\?\" and "\\.\" from the name, and mends
// each component by the Windows rules (a component left empty is dropped);
// true when anything was removed or mended.
bool ConfineEntryPath(std::u16string& directoryName, std::u16string& fileName);

}  // namespace extractor
