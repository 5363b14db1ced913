// The records at the tail of an archive that say where its directory lies:
// the end record and, in a ZIP64 archive, the ZIP64 end record that the
// locator in front of the end record points to.
#pragma once

#include <cstdint>

#include "fileio/zip_stream.h"

namespace extractor {

struct ArchiveEnd {
  uint32_t thisDisk = 0;
  uint32_t directoryDisk = 0;
  uint64_t entryCount = 0;
  uint64_t directorySize = 0;
  // As recorded: counted from the first byte of the file, unless the
  // archive was appended to a program without its offsets adjusted.
  uint64_t directoryOffset = 0;
  // Where the record right behind the directory starts, in the file.
  uint64_t directoryEnd = 0;
  bool zip64 = false;
};

// Reads the records from the archive of size fileSize; false when its last
// 65,557 bytes (the longest comment and the record) hold no end record.
bool FindArchiveEnd(ZipStream& archive, uint64_t fileSize, ArchiveEnd& end);

}  // namespace extractor
