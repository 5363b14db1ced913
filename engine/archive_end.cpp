// Finds the archive at a file's tail.
//
// Which end record counts. A comment, an entry name or a signature behind
// the archive may hold the end record's signature bytes PK\5\6. Every such
// place in the last 65,557 bytes in front of the tail's end (the record and
// the longest comment) is looked at, and a record is a candidate when its
// directory checks out: its size and offset (those of the ZIP64 end record
// when one is found for it) put the directory inside the file, right in
// front of the records, and a central header starts it (an empty archive's
// offset leads to none). Of the candidates the one nearest the end of the
// file counts, as other readers take it (so an archive inside another's
// comment is the one read), except that one with entries counts rather than
// an empty one: signature bytes followed by zeros read as an empty archive.
// A record that does not check out, such as signature bytes in a comment or
// a certificate, is passed over; without a candidate there is no archive.
//
// Quirks taken as they come:
// - A signature behind the archive. A program signed after its archive was
//   appended keeps the signature at the very end, in the place its
//   certificate table (PE data directory 4) gives; the tail then ends where
//   that table starts, whatever its size. A table entry that points outside
//   the file, into the program's headers or sections, or that ends before
//   the file does (the program was signed before the archive was appended)
//   is ignored, and the tail ends at the file's end.
// - Padding between the archive and a signature: signing tools start the
//   table on a multiple of 8 bytes, so up to 7 more bytes are searched in
//   front of it, and the comment length need not reach the tail's end.
// - The longest comment in a ZIP64 archive: the locator lies 20 bytes in
//   front of the end record wherever that stands, so it is read from the
//   file, not taken from the searched window.
// - A locator's signature as the last bytes of an entry name or comment: it
//   counts only when it leads to a ZIP64 end record, right in front of it
//   or where it points.
// - Offsets that do not count the bytes in front (an archive appended to a
//   program as it was): the directory's place in front of the records tells
//   their number, prefixSize.
#include "engine/archive_end.h"

#include <algorithm>
#include <vector>

#include "engine/little_endian.h"
#include "engine/zip_format.h"

namespace extractor {
namespace {

constexpr uint16_t kDosMagic = 0x5A4D;         // "MZ"
constexpr uint32_t kPeSignature = 0x00004550;  // "PE\0\0"
constexpr uint16_t kPe32Magic = 0x10B;
constexpr uint16_t kPe32PlusMagic = 0x20B;
constexpr uint32_t kCoffHeaderSize = 24;  // with the PE signature
constexpr uint32_t kSectionHeaderSize = 40;
// The optional header's data directories start here; entry 4, 8 bytes
// each, is the certificate table: its file offset and size.
constexpr uint32_t kPe32Directories = 96;
constexpr uint32_t kPe32PlusDirectories = 112;
constexpr uint32_t kCertificateEntry = 4 * 8;
constexpr uint32_t kSignaturePadding = 7;

class TailReader {
 public:
  TailReader(ZipStream& file, uint64_t size) : file_(file), size_(size) {}
  uint64_t size() const { return size_; }

  // False when the file does not hold all n bytes.
  bool read(uint64_t at, uint8_t* out, uint32_t n) {
    if (at > size_ || n > size_ - at) return false;
    file_.Seek(static_cast<int64_t>(at));
    return file_.Position() == at && file_.Read(out, n) == 0;
  }

  bool holdsCentralHeader(uint64_t at) {
    uint8_t signature[4] = {};
    return read(at, signature, 4) && load32(signature) == kCentralHeaderSignature;
  }

 private:
  ZipStream& file_;
  uint64_t size_;
};

// Where the program's headers and sections end.
uint64_t programEnd(TailReader& file, uint64_t sectionTable, uint16_t sections) {
  std::vector<uint8_t> table(size_t{sections} * kSectionHeaderSize);
  uint64_t end = sectionTable + table.size();
  if (!file.read(sectionTable, table.data(), static_cast<uint32_t>(table.size())))
    return UINT64_MAX;
  for (size_t p = 0; p < table.size(); p += kSectionHeaderSize) {
    end = std::max<uint64_t>(end, uint64_t{load32(&table[p + 20])} + load32(&table[p + 16]));
  }
  return end;
}

// The start of the certificate table when the file is a signed PE program
// whose signature takes the file's last bytes; otherwise the file's size.
uint64_t tailEnd(TailReader& file) {
  uint8_t dos[64] = {};
  if (!file.read(0, dos, sizeof dos) || load16(dos) != kDosMagic) return file.size();
  const uint64_t pe = load32(dos + 0x3C);
  uint8_t head[kCoffHeaderSize + kPe32PlusDirectories + kCertificateEntry + 8] = {};
  if (!file.read(pe, head, sizeof head) || load32(head) != kPeSignature) return file.size();
  const uint16_t optionalSize = load16(head + 20);
  const uint8_t* optional = head + kCoffHeaderSize;
  const uint16_t magic = load16(optional);
  if (magic != kPe32Magic && magic != kPe32PlusMagic) return file.size();
  const uint32_t directories = magic == kPe32Magic ? kPe32Directories : kPe32PlusDirectories;
  const uint8_t* entry = optional + directories + kCertificateEntry;
  if (load32(optional + directories - 4) <= 4 || optionalSize < directories + kCertificateEntry + 8)
    return file.size();
  const uint64_t table = load32(entry);
  const uint64_t tableSize = load32(entry + 4);
  if (tableSize == 0 || table + tableSize != file.size()) return file.size();
  const uint64_t program = programEnd(file, pe + kCoffHeaderSize + optionalSize, load16(head + 6));
  return table >= program ? table : file.size();
}

bool takeZip64End(TailReader& file, uint64_t at, uint64_t locatorAt, ArchiveEnd& end) {
  uint8_t record[kZip64EndSize] = {};
  if (at > locatorAt || locatorAt - at < kZip64EndSize || !file.read(at, record, kZip64EndSize) ||
      load32(record) != kZip64EndSignature) {
    return false;
  }
  end.thisDisk = load32(record + 16);
  end.directoryDisk = load32(record + 20);
  end.entryCount = load64(record + 32);
  end.directorySize = load64(record + 40);
  end.directoryOffset = load64(record + 48);
  end.directoryEnd = at;
  end.zip64 = true;
  return true;
}

// Every writer puts the ZIP64 end record right in front of its locator
// (its own size field then says 44); the offset the locator gives is short
// by the bytes in front of an archive appended as it was, and is needed
// for a record with extensible data.
void readZip64End(TailReader& file, ArchiveEnd& end) {
  uint8_t locator[kZip64LocatorSize] = {};
  if (end.recordAt < kZip64LocatorSize) return;
  const uint64_t locatorAt = end.recordAt - kZip64LocatorSize;
  if (!file.read(locatorAt, locator, kZip64LocatorSize) ||
      load32(locator) != kZip64LocatorSignature) {
    return;
  }
  uint8_t size[8] = {};
  if (locatorAt >= kZip64EndSize && file.read(locatorAt - kZip64EndSize + 4, size, 8) &&
      load64(size) == kZip64EndSize - 12 &&
      takeZip64End(file, locatorAt - kZip64EndSize, locatorAt, end)) {
    return;
  }
  takeZip64End(file, load64(locator + 8), locatorAt, end);
}

// The directory lies right in front of the records; what its recorded
// offset falls short of that place is the bytes in front.
bool locateDirectory(TailReader& file, ArchiveEnd& end) {
  if (end.directorySize > end.directoryEnd) return false;
  end.directoryStart = end.directoryEnd - end.directorySize;
  if (end.directoryOffset > end.directoryStart) return false;
  end.prefixSize = end.directoryStart - end.directoryOffset;
  // An empty archive's records must not point at headers either.
  if (end.directorySize == 0) {
    return end.entryCount == 0 &&
           (end.prefixSize == 0 || !file.holdsCentralHeader(end.directoryOffset));
  }
  return file.holdsCentralHeader(end.directoryStart);
}

bool checksOut(TailReader& file, const uint8_t* record, uint64_t recordAt, uint64_t tail,
               ArchiveEnd& end) {
  end = ArchiveEnd();
  end.recordAt = recordAt;
  end.tailEnd = tail;
  end.commentAt = recordAt + kEndRecordSize;
  end.commentLength =
      static_cast<uint32_t>(std::min<uint64_t>(load16(record + 20), tail - end.commentAt));
  end.thisDisk = load16(record + 4);
  end.directoryDisk = load16(record + 6);
  end.entryCount = load16(record + 10);
  end.directorySize = load32(record + 12);
  end.directoryOffset = load32(record + 16);
  end.directoryEnd = recordAt;
  readZip64End(file, end);
  return locateDirectory(file, end);
}

}  // namespace

bool FindArchiveEnd(ZipStream& archive, uint64_t fileSize, ArchiveEnd& end) {
  TailReader file(archive, fileSize);
  const uint64_t tail = tailEnd(file);
  const uint32_t most = kEndRecordWindow + (tail != fileSize ? kSignaturePadding : 0);
  const uint32_t w = static_cast<uint32_t>(std::min<uint64_t>(tail, most));
  if (w < kEndRecordSize) return false;
  std::vector<uint8_t> window(w);
  const uint64_t windowAt = tail - w;
  if (!file.read(windowAt, window.data(), w)) return false;
  bool found = false;
  ArchiveEnd candidate;
  for (size_t p = w - kEndRecordSize + 1; p-- > 0;) {
    if (load32(&window[p]) != kEndRecordSignature ||
        !checksOut(file, &window[p], windowAt + p, tail, candidate)) {
      continue;
    }
    // Candidates come nearest the end first.
    if (!found || (end.directorySize == 0 && candidate.directorySize != 0)) end = candidate;
    found = true;
  }
  return found;
}

}  // namespace extractor
