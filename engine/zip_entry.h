// ZipEntry: one archive entry as its central directory header describes it.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "engine/string_list.h"
#include "fileio/zip_stream.h"

namespace extractor {

class Zip;

// The encryptionKind of a WinZip AES entry (method 99 with extra field 0x9901).
constexpr int32_t kWinZipAesKind = 5;

struct ZipEntry {
  Zip* owner = nullptr;
  // The archive file; replaced by each volume's stream in turn while the
  // entry's data is read from an archive split into files.
  std::shared_ptr<ZipStream> source;
  uint64_t compressedSize = 0;
  uint32_t crc = 0;
  double dateTime = 0;    // days since 1899-12-30, time of day as the fraction
  int32_t firstDisk = 0;  // 1-based volume of the first data byte; 0 when not spanned
  StringList warnings;
  int32_t encryptionKind = 0;    // 0 none, 1 traditional, 2..4 AES (its round count), 5 WinZip AES
  std::u16string fileName;       // empty for a folder entry
  std::u16string directoryName;  // with its trailing separator
  bool drivePrefixRemoved = false;  // the name began with "X:\\", which directoryName lacks
  uint64_t uncompressedSize = 0;
  uint64_t dataOffset = 0;
  uint64_t localHeaderOffset = 0;
  uint16_t method = 8;
  std::array<uint8_t, 16> verifierBlock{};
  // From the same header; the traditional password check needs both when
  // the sizes and CRC-32 follow the data (flag bit 3).
  uint16_t flags = 0;
  uint16_t dosTime = 0;
  // WinZip AES: the key strength, 1 to 3 for AES-128 to -256, and the
  // vendor version, 1 (the CRC-32 is kept) or 2 (the CRC-32 is 0). method
  // holds the real method from the extra field.
  uint8_t aesStrength = 0;
  uint16_t aesVersion = 0;
};

}  // namespace extractor
