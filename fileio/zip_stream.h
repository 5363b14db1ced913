// ZipStream: a byte stream with a position, held in memory until it is
// given a file name and backed by that file from then on. A file-backed
// stream keeps no handle between operations: each one opens the file by
// its path and closes it before returning, so a removable disk may be
// exchanged between two reads.
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

  ZipStream();
  ~ZipStream();
  ZipStream(const ZipStream&) = delete;
  ZipStream& operator=(const ZipStream&) = delete;

  // Results: 0 success, 1 failure, as every operation below. A name longer
  // than 259 UTF-16 units, which the system's path buffer cannot hold, is
  // refused rather than shortened.
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
  void Truncate();

 private:
  void growFor(uint32_t count);

  uint64_t position_ = 0;
  bool deleteOnClose_ = false;
  int32_t openMode_ = kOpenAlways;
  std::u16string path_;  // the file's path, when file-backed
  std::optional<std::u16string> fileName_;
  std::vector<uint8_t> buffer_;  // memory storage; its size is the capacity
  uint64_t dataSize_ = 0;
  bool fileBacked_ = false;
};

}  // namespace extractor
