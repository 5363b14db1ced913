#include "fileio/zip_stream.h"

#include <algorithm>
#include <cstring>

#include "platform/file.h"

namespace extractor {

using platform::Disposition;
using platform::FileAccess;
using platform::FileHandle;

namespace {

constexpr uint32_t kInitialCapacity = 4096;

// The longest path the system's 260-character path buffer holds.
constexpr size_t kMaxPath = 259;

// Closes the file when the operation that opened it returns.
class OpenFile {
 public:
  OpenFile(const std::u16string& path, FileAccess access, Disposition disposition)
      : handle_(platform::openFile(path, access, disposition)) {}
  ~OpenFile() { platform::closeFile(handle_); }
  OpenFile(const OpenFile&) = delete;
  OpenFile& operator=(const OpenFile&) = delete;
  explicit operator bool() const { return handle_ != nullptr; }
  FileHandle get() const { return handle_; }

 private:
  FileHandle handle_;
};

}  // namespace

ZipStream::ZipStream() : buffer_(kInitialCapacity) {}

ZipStream::~ZipStream() {
  if (fileBacked_ && deleteOnClose_) platform::deleteFile(path_);
}

int32_t ZipStream::SetFileName(const std::optional<std::u16string>& name, NameForm form) {
  if ((!name && !fileName_) || (name && fileName_ && *name == *fileName_)) return 0;
  fileName_ = name;
  if (!name || name->empty()) return 0;

  FileAccess access = form == NameForm::Output ? FileAccess::Read : FileAccess::None;
  bool opened = name->size() <= kMaxPath && OpenFile(*name, access, Disposition(openMode_));
  if (!opened) {
    fileName_.reset();
    path_.clear();
    fileBacked_ = false;
    if (buffer_.empty()) buffer_.resize(kInitialCapacity);
    return 1;
  }
  path_ = *name;
  fileBacked_ = true;
  buffer_ = std::vector<uint8_t>();
  dataSize_ = 0;
  return 0;
}

void ZipStream::Seek(int64_t offset) {
  uint64_t target = static_cast<uint64_t>(std::max<int64_t>(offset, 0));
  if (!fileBacked_) {
    position_ = std::min(target, dataSize_);
    return;
  }
  OpenFile file(path_, FileAccess::Read, Disposition::OpenExisting);
  if (file) position_ = std::min(target, platform::fileSize(file.get()));
}

uint64_t ZipStream::Size() const {
  if (!fileBacked_) return dataSize_;
  OpenFile file(path_, FileAccess::Read, Disposition::OpenExisting);
  return file ? platform::fileSize(file.get()) : 0;
}

int32_t ZipStream::SizeQuery(uint64_t& size) const {
  if (!fileBacked_) {
    size = dataSize_;
    return 0;
  }
  OpenFile file(path_, FileAccess::None, Disposition::OpenExisting);
  if (!file) return 1;
  size = platform::fileSize(file.get());
  return 0;
}

int32_t ZipStream::Read(void* buffer, uint32_t count, bool wait) {
  if (!fileBacked_) {
    uint64_t available = position_ < dataSize_ ? dataSize_ - position_ : 0;
    uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(count, available));
    if (n) std::memcpy(buffer, buffer_.data() + position_, n);
    position_ += n;
    return 0;
  }
  OpenFile file(path_, FileAccess::Read, Disposition::OpenExisting);
  if (!file && platform::isNT()) return 1;
  if (file) platform::readFile(file.get(), position_, buffer, count, wait);
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
  OpenFile file(path_, FileAccess::Write, Disposition::OpenExisting);
  bool ok = platform::writeFile(file.get(), position_, buffer, count);
  position_ += count;
  return ok ? 0 : 1;
}

void ZipStream::Truncate() {
  position_ = 0;
  if (!fileBacked_) {
    dataSize_ = 0;
    return;
  }
  OpenFile file(path_, FileAccess::Read, Disposition::CreateAlways);
}

}  // namespace extractor
