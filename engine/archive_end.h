// The end of the archive at a file's tail: the end record, the ZIP64
// locator and end record in front of it, its comment and the bytes in front
// of the archive. The extractor and the packer read archives through it
// alike; archive_end.cpp says which record counts and which quirks it takes.
#pragma once

#include <cstdint>

#include "fileio/zip_stream.h"

namespace extractor {

struct ArchiveEnd {
  uint32_t thisDisk = 0;
  uint32_t directoryDisk = 0;
  uint64_t entryCount = 0;
  uint64_t directorySize = 0;
  // As recorded: counted from the archive's first byte.
  uint64_t directoryOffset = 0;
  // Where the directory lies in the file, and where the record right
  // behind it (the ZIP64 end record or the end record) starts.
  uint64_t directoryStart = 0;
  uint64_t directoryEnd = 0;
  // The bytes in front of the archive that its offsets do not count: 0 when
  // they count from the file's first byte (the archive was adjusted to the
  // program in front), else everything in front of the archive's first byte
  // (the program, and whatever lies between it and the archive). Every
  // offset into this file is the recorded one plus this.
  uint64_t prefixSize = 0;
  uint64_t recordAt = 0;  // the end record
  // The comment behind the record, cut at the tail's end.
  uint64_t commentAt = 0;
  uint32_t commentLength = 0;
  // The file's size, or where a signature behind the archive starts.
  uint64_t tailEnd = 0;
  bool zip64 = false;
};

// Finds the archive's end in the file of size fileSize; false when no end
// record in its tail describes a directory.
bool FindArchiveEnd(ZipStream& file, uint64_t fileSize, ArchiveEnd& end);

}  // namespace extractor
