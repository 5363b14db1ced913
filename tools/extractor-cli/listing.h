// The lines of extractor-cli --list.
#pragma once

#include <string>
#include <vector>

#include "engine/zip_entry.h"

namespace extractor::cli {

// "YYYY-MM-DD HH:MM:SS" of an OLE Automation date, to the nearest second.
std::string formatDate(double date);

// Full name (UTF-8), method, compressed size, uncompressed size, CRC-32,
// date-time, encryption kind and first volume, separated by tabs.
std::string listingLine(const ZipEntry& entry);

// The same for a reader: a header line, then one line per entry with the
// numbers aligned, methods and ciphers by name, the name last.
std::string listingTable(const std::vector<ZipEntry>& entries);

}  // namespace extractor::cli
