#include "volume_writer.h"

#include <algorithm>
#include <cstdio>
#include <system_error>

#include "engine/utf8.h"
#include "engine/volumes.h"

namespace fs = std::filesystem;

namespace extractor::pack {
namespace {

// Volumes take no ZIP64 records: the offsets in them stay 32-bit.
constexpr uint64_t kLargestVolume = 0xFFFFFFFFu;
constexpr uint64_t kUnlimited = ~uint64_t{0};

std::string shown(const fs::path& path) {
  return path.u8string();
}

std::string tooLarge(const fs::path& path) {
  return shown(path) +
         " would reach 4 GB, which a file of split volumes cannot: "
         "choose a smaller --split size";
}

}  // namespace

VolumeWriter::VolumeWriter(Layout layout, fs::path output, uint32_t capacity,
                           std::vector<uint8_t> program)
    : layout_(layout),
      output_(std::move(output)),
      capacity_(layout == Layout::SingleFile ? kUnlimited : capacity),
      program_(std::move(program)) {}

VolumeWriter::~VolumeWriter() {
  if (!committed_) removeTemporaries();
}

fs::path VolumeWriter::temporaryPath(const fs::path& final) const {
  fs::path path = final;
  path += ".part";
  return path;
}

Error VolumeWriter::open() {
  std::error_code error;
  if (fs::is_directory(output_, error)) return "cannot write " + shown(output_) + ": a folder";
  if (Error e = newVolume()) return e;
  if (layout_ == Layout::SingleFile) return writeRaw(program_.data(), program_.size());
  return std::nullopt;
}

Error VolumeWriter::closeCurrent() {
  if (!current_.is_open()) return std::nullopt;
  current_.close();
  if (current_.fail()) return "cannot write " + shown(volumes_.back().temporary);
  return std::nullopt;
}

Error VolumeWriter::newVolume(bool continues) {
  if (Error e = closeCurrent()) return e;
  if (volumes_.size() == 999) {
    return std::string("more than 999 volumes: choose a larger volume size");
  }
  char suffix[16];
  std::snprintf(suffix, sizeof suffix, ".part%03zu", volumes_.size() + 1);
  fs::path temporary = output_;
  temporary += layout_ == Layout::SingleFile ? ".part" : suffix;
  temporaries_.push_back(temporary);
  current_.open(temporary, std::ios::binary | std::ios::trunc);
  if (!current_)
    return "cannot write " + shown(layout_ == Layout::SingleFile ? output_ : temporary);
  volumes_.push_back({temporary, 0, continues});
  return std::nullopt;
}

Error VolumeWriter::writeRaw(const uint8_t* data, size_t size) {
  current_.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  if (!current_) return "cannot write " + shown(volumes_.back().temporary);
  volumes_.back().size += size;
  return std::nullopt;
}

Error VolumeWriter::startEntry(uint32_t headBytes, VolumeLocation& at) {
  blockSize_ = 1;
  sinceBlockStart_ = 0;
  if (layout_ != Layout::SingleFile) {
    if (headBytes > capacity_) {
      return "an entry's headers (" + std::to_string(headBytes) +
             " bytes) do not fit in one volume";
    }
    if (volumes_.back().size + headBytes > capacity_) {
      if (Error e = newVolume()) return e;
    }
  }
  at.volume = static_cast<uint16_t>(volumes_.size() - 1);
  at.offset = volumes_.back().size;
  return std::nullopt;
}

void VolumeWriter::cutInBlocksOf(uint32_t blockSize) {
  blockSize_ = blockSize;
  sinceBlockStart_ = 0;
}

Error VolumeWriter::write(const uint8_t* data, size_t size) {
  while (size > 0) {
    uint64_t room = capacity_ - volumes_.back().size;
    uint64_t piece = std::min<uint64_t>(size, room);
    if (piece < size) piece -= (sinceBlockStart_ + piece) % blockSize_;
    if (piece == 0) {
      if (Error e = newVolume(true)) return e;
      continue;
    }
    if (Error e = writeRaw(data, static_cast<size_t>(piece))) return e;
    sinceBlockStart_ += piece;
    data += piece;
    size -= static_cast<size_t>(piece);
  }
  return std::nullopt;
}

Error VolumeWriter::placeDirectory(uint64_t directoryBytes) {
  if (Error e = closeCurrent()) return e;
  uint64_t program = program_.size();
  uint64_t last = volumes_.back().size;
  switch (layout_) {
    case Layout::SingleFile:
      programVolume_ = 0;
      directoryOffset_ = last;
      return std::nullopt;
    case Layout::SplitFiles:
      if (volumes_.size() == 1) {
        programVolume_ = 0;
        directoryOffset_ = program + last;
        if (program + last + directoryBytes > kLargestVolume) return tooLarge(output_);
      } else {
        directoryOffset_ = program;
        if (program + directoryBytes > kLargestVolume) return tooLarge(output_);
      }
      return std::nullopt;
    case Layout::RemovableDisks:
      if (!volumes_.back().continues && program + last + directoryBytes <= capacity_) {
        programVolume_ = static_cast<long>(volumes_.size() - 1);
        directoryOffset_ = program + last;
        return std::nullopt;
      }
      if (program + directoryBytes > capacity_) {
        return "the program and the directory (" + std::to_string(program + directoryBytes) +
               " bytes) do not fit on one disk";
      }
      programVolume_ = static_cast<long>(volumes_.size());
      extraDisk_ = true;
      directoryOffset_ = program;
      return std::nullopt;
  }
  return std::nullopt;
}

uint16_t VolumeWriter::diskCount() const {
  if (layout_ == Layout::SingleFile) return 0;
  size_t count = volumes_.size() + (extraDisk_ ? 1 : 0);
  return count == 1 ? 0 : static_cast<uint16_t>(count);
}

bool VolumeWriter::directoryOnExtraDisk() const {
  return extraDisk_;
}

uint64_t VolumeWriter::absoluteOffset(const VolumeLocation& at) const {
  bool behindProgram = layout_ != Layout::SingleFile && programVolume_ == at.volume;
  return at.offset + (behindProgram ? program_.size() : 0);
}

fs::path VolumeWriter::diskFolder(size_t index) const {
  char suffix[16];
  std::snprintf(suffix, sizeof suffix, "-disk%03zu", index + 1);
  fs::path folder = output_.parent_path() / output_.stem();
  folder += suffix;
  return folder;
}

fs::path VolumeWriter::finalVolumePath(size_t index) const {
  if (layout_ == Layout::RemovableDisks) {
    return diskFolder(diskCount() == 0 ? 0 : index) / output_.filename();
  }
  std::u16string name = decodeUtf8(output_.u8string());
  return fs::u8path(encodeUtf8(VolumeFileName(name, static_cast<int32_t>(index + 1), diskCount())));
}

Error VolumeWriter::writeWholeFile(const fs::path& path, const std::vector<uint8_t>& head,
                                   const fs::path* copyFrom, const std::vector<uint8_t>& tail) {
  temporaries_.push_back(path);
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(head.data()), static_cast<std::streamsize>(head.size()));
  if (copyFrom) {
    std::ifstream in(*copyFrom, std::ios::binary);
    std::vector<char> buffer(1 << 20);
    while (in && out) {
      in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
      out.write(buffer.data(), in.gcount());
    }
    if (in.bad()) return "cannot read back " + shown(*copyFrom);
  }
  out.write(reinterpret_cast<const char*>(tail.data()), static_cast<std::streamsize>(tail.size()));
  out.close();
  if (out.fail()) return "cannot write " + shown(path);
  return std::nullopt;
}

Error VolumeWriter::finish(const std::vector<uint8_t>& directory) {
  std::vector<std::pair<fs::path, fs::path>> moves;  // temporary, final
  if (layout_ == Layout::SingleFile) {
    current_.open(volumes_[0].temporary, std::ios::binary | std::ios::app);
    if (Error e = writeRaw(directory.data(), directory.size())) return e;
    if (Error e = closeCurrent()) return e;
    moves.emplace_back(volumes_[0].temporary, output_);
  } else if (diskCount() == 0) {
    fs::path final = layout_ == Layout::SplitFiles ? output_ : finalVolumePath(0);
    fs::path assembled = temporaryPath(output_);
    if (Error e = writeWholeFile(assembled, program_, &volumes_[0].temporary, directory)) return e;
    moves.emplace_back(assembled, final);
  } else if (layout_ == Layout::SplitFiles) {
    fs::path assembled = temporaryPath(output_);
    if (Error e = writeWholeFile(assembled, program_, nullptr, directory)) return e;
    moves.emplace_back(assembled, output_);
    for (size_t k = 0; k < volumes_.size(); k++) {
      moves.emplace_back(volumes_[k].temporary, finalVolumePath(k));
    }
  } else {
    for (size_t k = 0; k < volumes_.size(); k++) {
      if (static_cast<long>(k) != programVolume_) {
        moves.emplace_back(volumes_[k].temporary, finalVolumePath(k));
      }
    }
    fs::path assembled = temporaryPath(output_);
    const fs::path* data = extraDisk_ ? nullptr : &volumes_.back().temporary;
    if (Error e = writeWholeFile(assembled, program_, data, directory)) return e;
    moves.emplace_back(assembled, finalVolumePath(static_cast<size_t>(programVolume_)));
  }
  for (const auto& [temporary, final] : moves) {
    std::error_code error;
    fs::path folder = final.parent_path();
    if (!folder.empty() && !fs::is_directory(folder, error)) fs::create_directory(folder, error);
    fs::rename(temporary, final, error);
    if (error) {
      // Some systems refuse to rename onto an existing file.
      fs::remove(final, error);
      fs::rename(temporary, final, error);
    }
    if (error) {
      std::string reason = error.message();
      for (const fs::path& done : written_) fs::remove(done, error);
      written_.clear();
      return "cannot write " + shown(final) + ": " + reason;
    }
    written_.push_back(final);
  }
  committed_ = true;
  removeTemporaries();
  return std::nullopt;
}

void VolumeWriter::removeTemporaries() {
  if (current_.is_open()) current_.close();
  std::error_code ignored;
  for (const fs::path& path : temporaries_) fs::remove(path, ignored);
  temporaries_.clear();
}

}  // namespace extractor::pack
