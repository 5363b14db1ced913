#include "fileio/zip_stream.h"

#include <algorithm>
#include <cstring>

#include "platform/file.h"

namespace extractor {

using platform::Disposition;
using platform::FileAccess;

namespace {

constexpr uint32_t kInitialCapacity = 4096;

// The longest path the file calls take, in their "\\?\" form.
constexpr size_t kMaxPath = 32767;

// Access bits of the stream's handle; none of them is a query-only open.
constexpr int kQuery = 0;
constexpr int kRead = 1;
constexpr int kWrite = 2;

// Reads of up to half this size are served from one read of this size.
constexpr uint32_t kReadAheadSize = 64 * 1024;

FileAccess accessOf(int bits) {
  switch (bits) {
    case kRead:
      return FileAccess::Read;
    case kWrite:
      return FileAccess::Write;
    case kRead | kWrite:
      return FileAccess::ReadWrite;
  }
  return FileAccess::None;
}

bool creates(int32_t mode) {
  return mode == ZipStream::kCreateAlways || mode == ZipStream::kCreateNew;
}

}  // namespace

ZipStream::ZipStream() : buffer_(kInitialCapacity) {}

ZipStream::~ZipStream() {
  // A file that is still open cannot be deleted on Windows.
  Close();
  if (fileBacked_ && deleteOnClose_) platform::deleteFile(path_);
}

void ZipStream::Close() {
  closeHandle();
  // A closed stream may wait long for its next read (an entry that ended on
  // a volume keeps that volume's stream): it holds no block meanwhile.
  ahead_ = std::vector<uint8_t>();
}

void ZipStream::closeHandle() const {
  platform::closeFile(handle_);
  handle_ = nullptr;
  handleAccess_ = kQuery;
  sizeKnown_ = false;
  aheadLength_ = 0;
}

int32_t ZipStream::SetFileName(const std::optional<std::u16string>& name, NameForm form) {
  if ((!name && !fileName_) || (name && fileName_ && *name == *fileName_)) return 0;
  Close();
  fileName_ = name;
  if (!name || name->empty()) return 0;

  // The open that tests an output file stays open for writing it, so a file
  // that is created for the entry is opened once.
  int access = kQuery;
  if (form == NameForm::Output) access = creates(openMode_) ? kRead | kWrite : kRead;
  if (name->size() <= kMaxPath) {
    handle_ = platform::openFile(*name, accessOf(access), Disposition(openMode_));
  }
  if (!handle_) {
    fileName_.reset();
    path_.clear();
    fileBacked_ = false;
    if (buffer_.empty()) buffer_.resize(kInitialCapacity);
    return 1;
  }
  handleAccess_ = access;
  sizeKnown_ = creates(openMode_);
  fileSize_ = 0;
  path_ = *name;
  fileBacked_ = true;
  buffer_ = std::vector<uint8_t>();
  dataSize_ = 0;
  return 0;
}

// Opens the file with at least the access asked for, keeping what the
// handle had. A failed open leaves the stream without a handle.
bool ZipStream::openFor(int access) const {
  if (handle_ && (access & ~handleAccess_) == 0) return true;
  int wanted = access | handleAccess_;
  closeHandle();
  handle_ = platform::openFile(path_, accessOf(wanted), Disposition::OpenExisting);
  if (!handle_ && wanted != access) {
    wanted = access;
    handle_ = platform::openFile(path_, accessOf(wanted), Disposition::OpenExisting);
  }
  handleAccess_ = handle_ ? wanted : kQuery;
  return handle_ != nullptr;
}

bool ZipStream::knowSize() const {
  if (!sizeKnown_) {
    fileSize_ = platform::fileSize(handle_);
    sizeKnown_ = true;
  }
  return true;
}

void ZipStream::Seek(int64_t offset) {
  uint64_t target = static_cast<uint64_t>(std::max<int64_t>(offset, 0));
  if (!fileBacked_) {
    position_ = std::min(target, dataSize_);
    return;
  }
  if (openFor(kRead) && knowSize()) position_ = std::min(target, fileSize_);
}

uint64_t ZipStream::Size() const {
  if (!fileBacked_) return dataSize_;
  return openFor(kRead) && knowSize() ? fileSize_ : 0;
}

int32_t ZipStream::SizeQuery(uint64_t& size) const {
  if (!fileBacked_) {
    size = dataSize_;
    return 0;
  }
  if (!openFor(kQuery)) return 1;
  knowSize();
  size = fileSize_;
  return 0;
}

// Serves a small read from the read-ahead block, reading the block anew at
// the position when the bytes asked for are not all in it. Bytes past the
// end of the file are left alone, as a plain read leaves them.
bool ZipStream::readAhead(uint8_t* out, uint32_t count, bool wait) {
  if (count > kReadAheadSize / 2) return false;
  if (count == 0) return true;  // out may be null then
  knowSize();
  if (position_ >= fileSize_) return true;
  uint64_t end = std::min(position_ + count, fileSize_);
  if (position_ < aheadStart_ || end > aheadStart_ + aheadLength_) {
    if (ahead_.empty()) ahead_.resize(kReadAheadSize);
    aheadStart_ = position_;
    aheadLength_ = static_cast<uint32_t>(std::min<uint64_t>(kReadAheadSize, fileSize_ - position_));
    platform::readFile(handle_, aheadStart_, ahead_.data(), aheadLength_, wait);
  }
  std::memcpy(out, ahead_.data() + (position_ - aheadStart_), static_cast<size_t>(end - position_));
  return true;
}

int32_t ZipStream::Read(void* buffer, uint32_t count, bool wait) {
  if (!fileBacked_) {
    uint64_t available = position_ < dataSize_ ? dataSize_ - position_ : 0;
    uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(count, available));
    if (n) std::memcpy(buffer, buffer_.data() + position_, n);
    position_ += n;
    return 0;
  }
  if (!openFor(kRead)) {
    if (platform::isNT()) return 1;
  } else if (!readAhead(static_cast<uint8_t*>(buffer), count, wait)) {
    platform::readFile(handle_, position_, buffer, count, wait);
  }
  position_ += count;
  return 0;
}

void ZipStream::growFor(uint32_t count) {
  size_t capacity = buffer_.size();
  if (capacity - position_ >= count) return;
  buffer_.resize(count > capacity ? capacity + count : capacity * 2);
}

int32_t ZipStream::Write(const void* buffer, uint32_t count) {
  if (!fileBacked_) {
    growFor(count);
    if (count) std::memcpy(buffer_.data() + position_, buffer, count);
    position_ += count;
    dataSize_ = std::max(dataSize_, position_);
    return 0;
  }
  aheadLength_ = 0;
  bool ok = openFor(kWrite) && platform::writeFile(handle_, position_, buffer, count);
  position_ += count;
  if (!ok) sizeKnown_ = false;
  fileSize_ = std::max(fileSize_, position_);
  return ok ? 0 : 1;
}

int32_t ZipStream::Truncate() {
  position_ = 0;
  if (!fileBacked_) {
    dataSize_ = 0;
    return 0;
  }
  // A file this stream has just created, or emptied, is empty still.
  if (handle_ && (handleAccess_ & kWrite) && sizeKnown_ && fileSize_ == 0) return 0;
  Close();
  handle_ = platform::openFile(path_, FileAccess::ReadWrite, Disposition::CreateAlways);
  if (!handle_) {
    // Windows refuses CREATE_ALWAYS on a hidden or system file whose
    // attributes the open does not repeat; such a file is emptied in place.
    handle_ = platform::openFile(path_, FileAccess::ReadWrite, Disposition::OpenExisting);
    if (!platform::emptyFile(handle_)) closeHandle();
  }
  if (!handle_) return 1;
  handleAccess_ = kRead | kWrite;
  sizeKnown_ = true;
  fileSize_ = 0;
  return 0;
}

int32_t ZipStream::SetLastWriteTime(uint64_t fileTime) {
  if (!fileBacked_) return 1;
  if (handle_ && (handleAccess_ & kWrite)) {
    return platform::setLastWriteTime(handle_, fileTime) ? 0 : 1;
  }
  Close();  // the open by name asks for the file unshared
  return platform::setLastWriteTime(path_, fileTime) ? 0 : 1;
}

}  // namespace extractor
