// Names that are legal in an archive but that Windows cannot hold as they
// are: a colon would write into a hidden stream of another file, a device
// name would send the data to the device, and trailing dots and spaces
// would silently be dropped. The same rules apply on every platform, so an
// archive extracts to the same tree everywhere.
#pragma once

#include <string>

namespace extractor {

// Mends one path component: < > : " | ? * and the control characters
// become "_", trailing dots and spaces are removed (".." and "..." so
// become empty), and a reserved device name (CON, PRN, AUX, NUL, CONIN$,
// CONOUT$, COM0-COM9, LPT0-LPT9, also with an extension) gets a "_" in
// front. True when anything changed.
bool MendForWindows(std::u16string& component);

}  // namespace extractor
