// The mark Windows gives a downloaded file: a "Zone.Identifier" stream
// beside its data that names the zone the file came from.
#pragma once

#include <string>

namespace extractor::platform {

// The text of the file's Zone.Identifier stream; empty when it has none or
// the stream cannot be read. At most 64 KiB are read: a mark is a few lines.
std::string readZoneIdentifier(const std::u16string& path);

// Writes text as the file's Zone.Identifier stream, replacing one it has.
// False when the file system keeps no streams (FAT) or the write fails.
bool writeZoneIdentifier(const std::u16string& path, const std::string& text);

}  // namespace extractor::platform
