// The check of a .xz block's uncompressed data: none, CRC-32, CRC-64 or
// SHA-256, as the stream flags choose.
#pragma once

#include <cstddef>
#include <cstdint>

#include "crypto/sha256.h"

namespace extractor::xz {

enum class CheckType : uint8_t { kNone = 0x00, kCrc32 = 0x01, kCrc64 = 0x04, kSha256 = 0x0A };

// The bytes a check of this ID takes in the block, also for IDs without a
// known check (they take 0, 4, 8, 16, 32 or 64 bytes by groups of three).
uint32_t checkSize(unsigned id);
bool checkKnown(unsigned id);

class Check {
 public:
  void start(CheckType type);
  void update(const uint8_t* data, size_t size);
  // Compares with the checkSize bytes the block stores.
  bool matches(const uint8_t* stored);

 private:
  CheckType type_ = CheckType::kNone;
  uint32_t crc32_ = 0;
  uint64_t crc64_ = 0;
  Sha256 sha256_;
};

}  // namespace extractor::xz
