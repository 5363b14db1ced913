// Where the packed bytes go: one self-extracting file, or volumes. Every
// file is written under a temporary name and takes its final name only when
// the whole archive has been written, so a failure leaves nothing behind.
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <vector>

#include "status.h"

namespace extractor::pack {

enum class Layout {
  SingleFile,      // program, entries, directory
  SplitFiles,      // program and directory; entries in setup.001, ..., setup.zip
  RemovableDisks,  // a folder per disk; the last disk also holds program and directory
};

// Where a local header starts: the 0-based volume and the offset in that
// volume's data.
struct VolumeLocation {
  uint16_t volume = 0;
  uint64_t offset = 0;
};

class VolumeWriter {
 public:
  // capacity: the most bytes of one volume (ignored for a single file,
  // which has no limit: its offsets go into ZIP64 records where needed).
  VolumeWriter(Layout layout, std::filesystem::path output, uint32_t capacity,
               std::vector<uint8_t> program);
  ~VolumeWriter();

  Error open();

  // Starts an entry whose first headBytes (its headers) must not be cut
  // apart by a volume's end.
  Error startEntry(uint32_t headBytes, VolumeLocation& at);

  // From here on, cuts fall on multiples of blockSize counted from here
  // (1: anywhere).
  void cutInBlocksOf(uint32_t blockSize);

  Error write(const uint8_t* data, size_t size);

  // Decides where the directory goes, given its size with the end record.
  Error placeDirectory(uint64_t directoryBytes);

  // After placeDirectory: what the directory says.
  uint16_t diskCount() const;  // 0 for an archive in one file
  uint64_t absoluteOffset(const VolumeLocation& at) const;
  uint64_t directoryOffset() const { return directoryOffset_; }
  bool directoryOnExtraDisk() const;

  // Writes the directory and gives every file its final name.
  Error finish(const std::vector<uint8_t>& directory);

  // The files the archive ended up in, for the closing note.
  const std::vector<std::filesystem::path>& writtenFiles() const { return written_; }

 private:
  struct Volume {
    std::filesystem::path temporary;
    uint64_t size = 0;
    // An entry's data go on from the volume before: they must start the
    // file, so no program can be put in front.
    bool continues = false;
  };

  Error newVolume(bool continues = false);
  Error closeCurrent();
  Error writeRaw(const uint8_t* data, size_t size);
  std::filesystem::path finalVolumePath(size_t index) const;
  std::filesystem::path diskFolder(size_t index) const;
  std::filesystem::path temporaryPath(const std::filesystem::path& final) const;
  Error writeWholeFile(const std::filesystem::path& path, const std::vector<uint8_t>& head,
                       const std::filesystem::path* copyFrom, const std::vector<uint8_t>& tail);
  Error commit();
  void removeTemporaries();

  Layout layout_;
  std::filesystem::path output_;
  uint64_t capacity_;
  std::vector<uint8_t> program_;

  std::vector<Volume> volumes_;
  std::ofstream current_;
  uint32_t blockSize_ = 1;
  uint64_t sinceBlockStart_ = 0;

  // Index of the volume whose file starts with the program, or -1.
  long programVolume_ = -1;
  bool extraDisk_ = false;
  uint64_t directoryOffset_ = 0;
  bool committed_ = false;
  std::vector<std::filesystem::path> temporaries_;
  std::vector<std::filesystem::path> written_;
};

}  // namespace extractor::pack
