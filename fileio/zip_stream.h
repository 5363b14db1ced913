// ZipStream: a byte stream with a position, held in memory until it is
// given a file name and backed by that file from then on. A file-backed
// stream keeps one handle while it is bound to its file: opened by the
// first operation that needs it (setting the name does), reopened only when
// an operation needs more access than it was opened with, and closed by
// Truncate, Close and destruction. Close before a removable disk may be
// exchanged; the next operation opens the file again.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace extractor {

class ZipStream {
 public:
  // How setting FileName tests the file. Either way the name goes to the
  // system as it is, in UTF-16.
  enum class NameForm {
    Output,  // output files: opened for reading as the test
    Volume,  // archive files and volumes: query-only test
  };

  static constexpr int32_t kOpenAlways = 1;
  static constexpr int32_t kOpenExisting = 2;
  static constexpr int32_t kCreateAlways = 3;
  // Creates a file that does not exist yet; fails on an existing one. For
  // output files it is the overwrite check and the create in one call.
  static constexpr int32_t kCreateNew = 4;

  ZipStream();
  ~ZipStream();
  ZipStream(const ZipStream&) = delete;
  ZipStream& operator=(const ZipStream&) = delete;

  // Results: 0 success, 1 failure, as every operation below. A name longer
  // than 32,767 UTF-16 units, the most any file call takes, is refused
  // rather than shortened; shorter ones are the file system's to refuse.
  int32_t SetFileName(const std::optional<std::u16string>& name, NameForm form);
  std::u16string FileName() const { return fileName_.value_or(u""); }
  void SetOpenMode(int32_t mode) { openMode_ = mode; }
  int32_t OpenMode() const { return openMode_; }
  void SetDeleteOnClose(bool on) { deleteOnClose_ = on; }
  uint64_t Position() const { return position_; }
  bool IsFileBacked() const { return fileBacked_; }
  size_t Capacity() const { return buffer_.size(); }

  // Negative offsets count as 0.
  void Seek(int64_t offset);
  uint64_t Size() const;
  int32_t SizeQuery(uint64_t& size) const;
  // wait: let the system finish the read's completion before returning.
  int32_t Read(void* buffer, uint32_t count, bool wait = true);
  int32_t Write(const void* buffer, uint32_t count);
  // 1 when a file-backed stream's file could not be emptied.
  int32_t Truncate();
  // Releases the file's handle; the name stays and the next operation opens
  // the file again.
  void Close();
  // Sets the file's last-write time (100-ns intervals since 1601-01-01 UTC)
  // through the open handle when it may write, else by the name.
  int32_t SetLastWriteTime(uint64_t fileTime);

 private:
  void growFor(uint32_t count);
  void closeHandle() const;
  bool openFor(int access) const;
  bool knowSize() const;
  bool readAhead(uint8_t* out, uint32_t count, bool wait);

  uint64_t position_ = 0;
  bool deleteOnClose_ = false;
  int32_t openMode_ = kOpenAlways;
  std::u16string path_;  // the file's path, when file-backed
  std::optional<std::u16string> fileName_;
  std::vector<uint8_t> buffer_;  // memory storage; its size is the capacity
  uint64_t dataSize_ = 0;
  bool fileBacked_ = false;

  // The open file. Size queries are const but may open it.
  mutable void* handle_ = nullptr;
  mutable int handleAccess_ = 0;    // access bits the handle was opened with
  mutable bool sizeKnown_ = false;  // fileSize_ holds the size of the open file
  mutable uint64_t fileSize_ = 0;
  // Small reads are served from one larger read at their position: the
  // local header and data of small entries, and the next entries behind
  // them, come from one system call.
  std::vector<uint8_t> ahead_;
  uint64_t aheadStart_ = 0;
  mutable uint32_t aheadLength_ = 0;
};

}  // namespace extractor
