// How the engine reports: every failure ends in ReportError, which puts the
// code's message into lastErrorText and returns -1 for the caller to pass up.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "engine/string_list.h"
#include "engine/zip_error.h"
#include "fileio/zip_stream.h"

namespace extractor {

class Zip;

// The message of a code; "Unresolved Error" for a code the engine does not know.
std::u16string ZipErrorMessage(int32_t code);

// Always -1. Code 13501 shows the collected warnings instead of an error.
int32_t ReportError(Zip& zip, int32_t code);

// Deletes the partial output file of the entry being extracted (the stream
// may be null), then reports. The stream is gone afterwards.
int32_t FailEntry(Zip& zip, int32_t code, std::unique_ptr<ZipStream>& output);

// The code for an output file that could not be created or written, by
// the system's reason: "Disk full", a file another program holds, or
// "Write failed" for any other.
ZipError WriteFailure();

// One line per entry with warnings: "name: " and its warnings run together;
// the entries' lists are emptied. The separator is "\r\n".
StringList ComposeWarnings(Zip& zip);

}  // namespace extractor
