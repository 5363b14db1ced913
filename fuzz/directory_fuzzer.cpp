// ReadDirectory on arbitrary bytes. Whatever it reads must be consistent
// (the total is the sum of the sizes read) and every name must confine to a
// place inside the destination.
#include <cstdlib>

#include "engine/confine.h"
#include "engine/zip.h"
#include "inside_check.h"
#include "reused_zip.h"
#include "scratch_folder.h"

using namespace extractor;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static fuzz::ScratchFolder folder("directory");
  std::u16string archive = folder.write("setup.exe", data, size);
  Zip& zip = fuzz::freshZip();
  int32_t result = zip.ReadDirectory(archive);
  if (result != 0 && result != -1) std::abort();
  if (result != 0 && zip.lastErrorText.empty()) std::abort();

  uint64_t total = 0;
  for (const ZipEntry& entry : zip.entries) {
    total += entry.uncompressedSize;
    if (entry.encryptionKind < 0 || entry.encryptionKind > 5) std::abort();
    std::u16string directory = entry.directoryName;
    std::u16string file = entry.fileName;
    ConfineEntryPath(directory, file);
    if (!fuzz::staysInside(directory, file)) std::abort();
  }
  if (total != zip.bytesTotal) std::abort();
  return 0;
}
