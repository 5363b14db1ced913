// Reads the central directory of the archive appended to a file. All
// offsets are absolute in the file: the archive must have been written, or
// adjusted, with the program bytes in front of it counted.
#include <algorithm>
#include <vector>

#include "engine/dos_time.h"
#include "engine/entry_name.h"
#include "engine/little_endian.h"
#include "engine/report_error.h"
#include "engine/zip.h"

namespace extractor {
namespace {

constexpr uint32_t kEndRecordSignature = 0x06054b50;
constexpr uint32_t kCentralHeaderSignature = 0x02014b50;
constexpr uint32_t kZip64LocatorSignature = 0x07064b50;
constexpr uint32_t kEndRecordSize = 22;
constexpr uint32_t kCentralHeaderSize = 46;
constexpr uint32_t kLocalHeaderSize = 30;
constexpr uint32_t kZip64LocatorSize = 20;
// The longest comment plus the record, plus one.
constexpr uint32_t kTailWindow = 65535 + kEndRecordSize + 1;
constexpr uint16_t kZip64ExtraId = 0x0001;
constexpr uint16_t kEncryptedFlag = 1;

// The highest record start in the window, searched from w - 22 down to 1.
long findEndRecord(const std::vector<uint8_t>& window) {
  if (window.size() <= kEndRecordSize) return -1;
  for (size_t p = window.size() - kEndRecordSize; p >= 1; p--) {
    if (load32(&window[p]) == kEndRecordSignature) return static_cast<long>(p);
  }
  return -1;
}

// True when a header's 32-bit fields only mark values kept in a ZIP64 extra.
bool usesZip64(const uint8_t* header, const uint8_t* extra, uint16_t extraLength) {
  bool marked = load32(header + 20) == 0xFFFFFFFF || load32(header + 24) == 0xFFFFFFFF ||
                load32(header + 42) == 0xFFFFFFFF || load16(header + 34) == 0xFFFF;
  if (!marked) return false;
  for (uint32_t p = 0; p + 4 <= extraLength; p += 4u + load16(extra + p + 2)) {
    if (load16(extra + p) == kZip64ExtraId) return true;
  }
  return false;
}

}  // namespace

int32_t Zip::ReadDirectory(const std::u16string& path) {
  if (busy) return ReportError(*this, zipErrBusy);
  splitFiles = false;

  auto archive = std::make_shared<ZipStream>();
  archive->SetOpenMode(ZipStream::kOpenExisting);
  archive->SetFileName(path, ZipStream::NameForm::Volume);
  uint64_t size = 0;
  if (archive->SizeQuery(size) != 0) return ReportError(*this, zipErrOpenForReading);

  uint32_t w = static_cast<uint32_t>(std::min<uint64_t>(size, kTailWindow));
  std::vector<uint8_t> window(w, 0);
  archive->Seek(size - w);
  archive->Read(window.data(), w);
  long found = findEndRecord(window);
  if (found < 0) {
    ReadVolumeLabel(path);
    return ReportError(*this, zipErrNotZipFile);
  }
  const uint8_t* record = &window[static_cast<size_t>(found)];
  if (found >= static_cast<long>(kZip64LocatorSize) &&
      load32(record - kZip64LocatorSize) == kZip64LocatorSignature) {
    return ReportError(*this, zipErrTooLarge);
  }
  uint16_t thisDisk = load16(record + 4);
  uint16_t directoryDisk = load16(record + 6);
  diskCount = thisDisk == 0 ? 0 : thisDisk + 1;
  currentDisk = directoryDisk;
  splitFiles = directoryDisk != diskCount;
  uint32_t directoryOffset = load32(record + 16);
  if (directoryOffset > size) return ReportError(*this, zipErrNotZipFile);

  uint64_t len = size - directoryOffset;
  std::vector<uint8_t> directory(static_cast<size_t>(len) + 1, 0);
  archive->Seek(directoryOffset);
  archive->Read(directory.data(), static_cast<uint32_t>(len));

  for (uint64_t p = 0; p + kCentralHeaderSize <= len;) {
    const uint8_t* h = &directory[p];
    if (load32(h) != kCentralHeaderSignature) break;
    uint16_t nameLength = load16(h + 28);
    uint16_t extraLength = load16(h + 30);
    uint16_t commentLength = load16(h + 32);
    uint64_t next = p + kCentralHeaderSize + nameLength + extraLength + commentLength;
    if (next > len) break;  // a header that runs past the directory ends it
    const uint8_t* name = h + kCentralHeaderSize;
    const uint8_t* extra = name + nameLength;
    if (usesZip64(h, extra, extraLength)) return ReportError(*this, zipErrTooLarge);

    ZipEntry& entry = entries.emplace_back();
    entry.owner = this;
    entry.source = archive;
    entry.flags = load16(h + 8);
    if (entry.flags & kEncryptedFlag) {
      entry.encryptionKind = 1;
      Encryption = -1;
    }
    entry.method = load16(h + 10);
    entry.dosTime = load16(h + 12);
    entry.dateTime = DosFieldsToDate(load16(h + 14), entry.dosTime);
    entry.crc = load32(h + 16);
    entry.compressedSize = load32(h + 20);
    entry.uncompressedSize = load32(h + 24);
    bytesTotal += entry.uncompressedSize;
    entry.localHeaderOffset = load32(h + 42);
    entry.dataOffset = entry.localHeaderOffset + kLocalHeaderSize + nameLength + extraLength;
    if (diskCount > 1) entry.firstDisk = load16(h + 34) + 1;
    std::string_view rawName(reinterpret_cast<const char*>(name), nameLength);
    std::string_view rawExtra(reinterpret_cast<const char*>(extra), extraLength);
    SplitEntryName(DecodeEntryName(rawName, entry.flags, load16(h + 4), rawExtra),
                   entry.directoryName, entry.fileName);

    // AES entries name their kind and verification block at the start of
    // the central extra field and have no extra field in the local header.
    uint16_t kind = extraLength >= 18 ? load16(extra) : 0;
    if (kind >= 2 && kind <= 4) {
      entry.encryptionKind = kind;
      std::copy(extra + 2, extra + 18, entry.verifierBlock.begin());
      entry.dataOffset -= extraLength;
    }
    p = next;
  }
  return 0;
}

}  // namespace extractor
