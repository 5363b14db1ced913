// Reads the central directory of the archive appended to a file. The
// offsets of an archive adjusted to the program in front of it count from
// the first byte of the file; those of an archive simply appended count
// from its own first byte, and the directory's position right in front of
// the end records tells how many program bytes precede it.
#include <algorithm>
#include <memory>
#include <vector>

#include "crypto/winzip_aes.h"
#include "engine/archive_end.h"
#include "engine/dos_time.h"
#include "engine/entry_name.h"
#include "engine/little_endian.h"
#include "engine/report_error.h"
#include "engine/volumes.h"
#include "engine/zip.h"
#include "engine/zip_format.h"
#include "engine/zone_mark.h"
#include "platform/zone.h"

namespace extractor {
namespace {

constexpr uint32_t kSaturated32 = 0xFFFFFFFF;
constexpr uint16_t kSaturated16 = 0xFFFF;
constexpr uint32_t kDosDirectoryAttribute = 0x10;
// More than any real directory holds (millions of entries); the directory
// is read into memory in one piece.
constexpr uint64_t kMaxDirectorySize = uint64_t{1} << 30;

// The central header fields that a ZIP64 extra field may widen.
struct WideFields {
  uint64_t uncompressedSize;
  uint64_t compressedSize;
  uint64_t localHeaderOffset;
  uint32_t disk;
};

// The ZIP64 extra field holds, in this order, the fields whose 32-bit (or,
// for the disk, 16-bit) value in the header is saturated, and only those.
// False when the field is too short for them; without the field the
// header's values stand.
bool widenFromZip64Extra(const uint8_t* extra, uint16_t extraLength, WideFields& f) {
  const bool wide[4] = {f.uncompressedSize == kSaturated32, f.compressedSize == kSaturated32,
                        f.localHeaderOffset == kSaturated32, f.disk == kSaturated16};
  if (!wide[0] && !wide[1] && !wide[2] && !wide[3]) return true;
  for (uint32_t p = 0; p + 4 <= extraLength;) {
    uint16_t id = load16(extra + p);
    uint16_t size = load16(extra + p + 2);
    const uint8_t* data = extra + p + 4;
    if (size > extraLength - p - 4) break;
    if (id == kZip64ExtraId) {
      uint64_t* targets[3] = {&f.uncompressedSize, &f.compressedSize, &f.localHeaderOffset};
      uint32_t at = 0;
      for (int i = 0; i < 3; i++) {
        if (!wide[i]) continue;
        if (at + 8 > size) return false;
        *targets[i] = load64(data + at);
        at += 8;
      }
      if (wide[3]) {
        if (at + 4 > size) return false;
        f.disk = load32(data + at);
      }
      return true;
    }
    p += 4u + size;
  }
  return true;
}

// Writers on MS-DOS (host 0), Windows NTFS (10) and VFAT (14) may mark a
// folder by its attribute alone, without a trailing separator.
bool markedAsDosFolder(const uint8_t* header) {
  uint8_t host = header[5];
  bool dosHost = host == 0 || host == 10 || host == 14;
  return dosHost && (load32(header + 38) & kDosDirectoryAttribute) != 0;
}

bool endsWithSeparator(const std::u16string& name) {
  return !name.empty() && (name.back() == u'/' || name.back() == u'\\');
}

// The directory the end records describe, read and checked against them.
class DirectoryWalk {
 public:
  DirectoryWalk(Zip& zip, std::shared_ptr<ZipStream> archive)
      : zip_(zip), archive_(std::move(archive)), firstEntry_(zip.entries.size()) {}

  ZipError read(const std::u16string& path, uint64_t fileSize);

 private:
  bool decodeHeader(const uint8_t* h, ZipEntry& entry);
  bool measureLastVolume(const std::u16string& path);
  // The bytes in front of the entries' offsets on a volume: the archive
  // file's for an archive in one file, the last volume's for a spanned one
  // (on removable disks the last disk's file is the archive file), none on
  // the other volumes, which hold nothing else.
  uint64_t volumePrefix(int32_t firstDisk) const {
    if (firstDisk == 0) return end_.prefixSize;
    return firstDisk == zip_.diskCount ? lastVolumePrefix_ : 0;
  }

  Zip& zip_;
  std::shared_ptr<ZipStream> archive_;
  ArchiveEnd end_;
  uint64_t lastVolumePrefix_ = 0;
  size_t firstEntry_ = 0;  // the first one this reading appends
  uint64_t bytesTotal_ = 0;
  bool encrypted_ = false;
};

// A WinZip AES entry names its real method, key strength and vendor version
// in extra field 0x9901. An entry without a valid one keeps method 99, which
// no decoder takes.
void readWinZipAesExtra(ZipEntry& entry, const uint8_t* extra, uint16_t extraLength) {
  for (uint32_t p = 0; p + 4 <= extraLength; p += 4u + load16(extra + p + 2)) {
    const uint16_t size = load16(extra + p + 2);
    if (load16(extra + p) != kWinZipAesExtraId) continue;
    if (size < kWinZipAesExtraSize || p + 4 + size > extraLength) return;
    const uint8_t* field = extra + p + 4;
    const uint16_t version = load16(field);
    const uint8_t strength = field[4];
    if ((version != 1 && version != 2) || field[2] != 'A' || field[3] != 'E' ||
        winZipAesKeyBits(strength) == 0) {
      return;
    }
    entry.encryptionKind = kWinZipAesKind;
    entry.aesVersion = version;
    entry.aesStrength = strength;
    entry.method = load16(field + 5);
    return;
  }
}

bool DirectoryWalk::decodeHeader(const uint8_t* h, ZipEntry& entry) {
  const uint16_t nameLength = load16(h + 28);
  const uint16_t extraLength = load16(h + 30);
  const uint8_t* name = h + kCentralHeaderSize;
  const uint8_t* extra = name + nameLength;
  WideFields wide = {load32(h + 24), load32(h + 20), load32(h + 42), load16(h + 34)};
  if (!widenFromZip64Extra(extra, extraLength, wide)) return false;

  entry.owner = &zip_;
  entry.source = archive_;
  entry.flags = load16(h + 8);
  if (entry.flags & kEncryptedFlag) {
    entry.encryptionKind = 1;
    encrypted_ = true;
  }
  entry.method = load16(h + 10);
  entry.dosTime = load16(h + 12);
  entry.dateTime = DosFieldsToDate(load16(h + 14), entry.dosTime);
  entry.crc = load32(h + 16);
  entry.compressedSize = wide.compressedSize;
  entry.uncompressedSize = wide.uncompressedSize;
  bytesTotal_ += entry.uncompressedSize;
  if (zip_.diskCount > 1)
    entry.firstDisk = static_cast<int32_t>(std::min<uint32_t>(wide.disk, INT32_MAX - 1)) + 1;
  entry.localHeaderOffset = wide.localHeaderOffset + volumePrefix(entry.firstDisk);
  entry.dataOffset = entry.localHeaderOffset + kLocalHeaderSize + nameLength + extraLength;

  std::string_view rawName(reinterpret_cast<const char*>(name), nameLength);
  std::string_view rawExtra(reinterpret_cast<const char*>(extra), extraLength);
  std::u16string decoded = DecodeEntryName(rawName, entry.flags, load16(h + 4), rawExtra);
  if (markedAsDosFolder(h) && !decoded.empty() && !endsWithSeparator(decoded)) decoded += u'/';
  entry.drivePrefixRemoved = SplitEntryName(decoded, entry.directoryName, entry.fileName);

  // AES entries name their kind and verification block at the start of
  // the central extra field and have no extra field in the local header.
  uint16_t kind = extraLength >= 18 ? load16(extra) : 0;
  if (kind >= 2 && kind <= 4) {
    entry.encryptionKind = kind;
    std::copy(extra + 2, extra + 18, entry.verifierBlock.begin());
    entry.dataOffset -= extraLength;
  }
  if (entry.method == kWinZipAesMethod) {
    readWinZipAesExtra(entry, extra, extraLength);
    if (entry.encryptionKind == kWinZipAesKind) encrypted_ = true;
  }
  return true;
}

// A split set made by another tool whose last volume, the one with the
// directory, got the program in front without its offsets adjusted: the
// shift shows in the program file, but the entries on the last volume are
// read from that volume's own file (setup.zip by the name rule), which may
// be the volume as it was or a copy with the program in front. Its own end
// records tell: the same directory, behind its own bytes in front. A last
// volume that does not show them is refused before anything is extracted.
bool DirectoryWalk::measureLastVolume(const std::u16string& path) {
  ZipStream volume;
  volume.SetOpenMode(ZipStream::kOpenExisting);
  volume.SetFileName(VolumeFileName(path, zip_.diskCount, zip_.diskCount),
                     ZipStream::NameForm::Volume);
  uint64_t size = 0;
  ArchiveEnd own;
  if (volume.SizeQuery(size) != 0 || !FindArchiveEnd(volume, size, own)) return false;
  lastVolumePrefix_ = own.prefixSize;
  return own.directorySize == end_.directorySize && own.directoryOffset == end_.directoryOffset &&
         own.entryCount == end_.entryCount;
}

// Every header must be whole and the headers must fill the directory
// exactly; a directory that does not add up is no archive to extract from.
ZipError DirectoryWalk::read(const std::u16string& path, uint64_t fileSize) {
  if (!FindArchiveEnd(*archive_, fileSize, end_)) {
    zip_.ReadVolumeLabel(path);
    return zipErrNotZipFile;
  }
  zip_.diskCount = end_.thisDisk == 0
                       ? 0
                       : static_cast<int32_t>(std::min<uint32_t>(end_.thisDisk, INT32_MAX - 1)) + 1;
  zip_.currentDisk = static_cast<int32_t>(std::min<uint32_t>(end_.directoryDisk, INT32_MAX));
  zip_.splitFiles = zip_.currentDisk != zip_.diskCount;
  lastVolumePrefix_ = end_.prefixSize;
  if (zip_.splitFiles && end_.prefixSize != 0 && !measureLastVolume(path)) return zipErrNotZipFile;
  if (end_.directorySize > kMaxDirectorySize) return zipErrNotZipFile;

  const size_t size = static_cast<size_t>(end_.directorySize);
  std::vector<uint8_t> directory(size);
  archive_->Seek(static_cast<int64_t>(end_.directoryStart));
  if (archive_->Read(directory.data(), static_cast<uint32_t>(size)) != 0) {
    return zipErrOpenForReading;
  }
  for (size_t p = 0; p < size;) {
    if (size - p < kCentralHeaderSize) return zipErrNotZipFile;
    const uint8_t* h = &directory[p];
    if (load32(h) != kCentralHeaderSignature) return zipErrNotZipFile;
    size_t length = kCentralHeaderSize + load16(h + 28) + load16(h + 30) + load16(h + 32);
    if (length > size - p) return zipErrNotZipFile;
    if (!decodeHeader(h, zip_.entries.emplace_back())) return zipErrNotZipFile;
    p += length;
  }
  // Writers without ZIP64 let the 16-bit count of a larger archive wrap.
  uint64_t count = zip_.entries.size() - firstEntry_;
  if (end_.zip64 ? count != end_.entryCount : (count & 0xFFFF) != end_.entryCount) {
    return zipErrNotZipFile;
  }

  zip_.prefixBytes = end_.prefixSize;
  zip_.lastVolumePrefix = lastVolumePrefix_;
  zip_.bytesTotal += bytesTotal_;
  if (encrypted_) zip_.Encryption = -1;
  return zipErrNone;
}

}  // namespace

int32_t Zip::ReadDirectory(const std::u16string& path) {
  if (busy) return ReportError(*this, zipErrBusy);
  splitFiles = false;
  prefixBytes = 0;
  lastVolumePrefix = 0;

  auto archive = std::make_shared<ZipStream>();
  archive->SetOpenMode(ZipStream::kOpenExisting);
  archive->SetFileName(path, ZipStream::NameForm::Volume);
  uint64_t size = 0;
  if (archive->SizeQuery(size) != 0) return ReportError(*this, zipErrOpenForReading);
  // A downloaded archive hands its download mark on to what comes out of it.
  zoneMark = CarriedZoneMark(platform::readZoneIdentifier(path));

  // A directory that is not read whole leaves no entry behind.
  const size_t first = entries.size();
  ZipError result = DirectoryWalk(*this, archive).read(path, size);
  if (result == zipErrNone) return 0;
  while (entries.size() > first) entries.pop_back();
  return ReportError(*this, result);
}

}  // namespace extractor
