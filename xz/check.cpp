#include "xz/check.h"

#include <cstring>

#include "crypto/crc32.h"
#include "crypto/crc64.h"

namespace extractor::xz {

uint32_t checkSize(unsigned id) {
  if (id == 0) return 0;
  return 4u << ((id - 1) / 3);
}

bool checkKnown(unsigned id) {
  return id == 0x00 || id == 0x01 || id == 0x04 || id == 0x0A;
}

void Check::start(CheckType type) {
  type_ = type;
  crc32_ = 0;
  crc64_ = 0;
  sha256_.reset();
}

void Check::update(const uint8_t* data, size_t size) {
  switch (type_) {
    case CheckType::kNone:
      break;
    case CheckType::kCrc32:
      // crc32Update takes at most 2 GiB at a time.
      for (size_t done = 0; done < size; done += 1u << 30) {
        const size_t n = size - done < (1u << 30) ? size - done : 1u << 30;
        crc32_ = crc32Update(crc32_, data + done, static_cast<int32_t>(n));
      }
      break;
    case CheckType::kCrc64:
      crc64_ = crc64Update(crc64_, data, size);
      break;
    case CheckType::kSha256:
      sha256_.update(data, size);
      break;
  }
}

bool Check::matches(const uint8_t* stored) {
  uint8_t value[kSha256DigestSize] = {};
  switch (type_) {
    case CheckType::kNone:
      return true;
    case CheckType::kCrc32:
      for (int i = 0; i < 4; ++i) value[i] = static_cast<uint8_t>(crc32_ >> 8 * i);
      return std::memcmp(value, stored, 4) == 0;
    case CheckType::kCrc64:
      for (int i = 0; i < 8; ++i) value[i] = static_cast<uint8_t>(crc64_ >> 8 * i);
      return std::memcmp(value, stored, 8) == 0;
    case CheckType::kSha256:
      sha256_.finish(value);
      return std::memcmp(value, stored, kSha256DigestSize) == 0;
  }
  return false;
}

}  // namespace extractor::xz
