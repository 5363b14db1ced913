#include "engine/archive_end.h"

#include <algorithm>
#include <vector>

#include "engine/little_endian.h"
#include "engine/zip_format.h"

namespace extractor {
namespace {

// The highest record start in the window; a file that is nothing but an
// end record (an empty archive) has it at position 0.
long findEndRecord(const std::vector<uint8_t>& window) {
  if (window.size() < kEndRecordSize) return -1;
  for (size_t p = window.size() - kEndRecordSize + 1; p-- > 0;) {
    if (load32(&window[p]) == kEndRecordSignature) return static_cast<long>(p);
  }
  return -1;
}

// Takes the ZIP64 end record at `at` when one starts there and fits in
// front of the locator.
bool readZip64End(ZipStream& archive, uint64_t at, uint64_t locatorAt, ArchiveEnd& end) {
  if (at > locatorAt || locatorAt - at < kZip64EndSize) return false;
  uint8_t record[kZip64EndSize];
  archive.Seek(static_cast<int64_t>(at));
  if (archive.Position() != at || archive.Read(record, kZip64EndSize) != 0) return false;
  if (load32(record) != kZip64EndSignature) return false;
  end.thisDisk = load32(record + 16);
  end.directoryDisk = load32(record + 20);
  end.entryCount = load64(record + 32);
  end.directorySize = load64(record + 40);
  end.directoryOffset = load64(record + 48);
  end.directoryEnd = at;
  end.zip64 = true;
  return true;
}

}  // namespace

bool FindArchiveEnd(ZipStream& archive, uint64_t fileSize, ArchiveEnd& end) {
  uint32_t w = static_cast<uint32_t>(std::min<uint64_t>(fileSize, kEndRecordWindow));
  std::vector<uint8_t> window(w, 0);
  archive.Seek(static_cast<int64_t>(fileSize - w));
  archive.Read(window.data(), w);
  long found = findEndRecord(window);
  if (found < 0) return false;

  const uint8_t* record = &window[static_cast<size_t>(found)];
  const uint64_t recordAt = fileSize - w + static_cast<uint64_t>(found);
  end = ArchiveEnd();
  end.thisDisk = load16(record + 4);
  end.directoryDisk = load16(record + 6);
  end.entryCount = load16(record + 10);
  end.directorySize = load32(record + 12);
  end.directoryOffset = load32(record + 16);
  end.directoryEnd = recordAt;

  // The locator's signature may as well be the last bytes of an entry name
  // or comment, so it counts only when it leads to a ZIP64 end record: at
  // the offset it gives, or, in an archive appended to a program without
  // its offsets adjusted, right in front of the locator.
  if (found < static_cast<long>(kZip64LocatorSize)) return true;
  const uint8_t* locator = record - kZip64LocatorSize;
  const uint64_t locatorAt = recordAt - kZip64LocatorSize;
  if (load32(locator) != kZip64LocatorSignature) return true;
  if (!readZip64End(archive, load64(locator + 8), locatorAt, end) && locatorAt >= kZip64EndSize) {
    readZip64End(archive, locatorAt - kZip64EndSize, locatorAt, end);
  }
  return true;
}

}  // namespace extractor
