#include "crypto/crc32.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "crypto/crc32_paths.h"
#include "random_bytes.h"

namespace extractor {
namespace {

const uint8_t kDigits[] = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};

uint32_t slice8(uint32_t crc, const uint8_t* data, size_t length) {
  return ~crc32Slice8(~crc, data, length);
}

uint32_t clmul(uint32_t crc, const uint8_t* data, size_t length) {
  return ~crc32Clmul(~crc, data, length);
}

uint32_t vpclmul(uint32_t crc, const uint8_t* data, size_t length) {
  return ~crc32Vpclmul(~crc, data, length);
}

TEST(Crc32, CheckValueOnEveryPath) {
  EXPECT_EQ(crc32Update(0, kDigits, 9), 0xCBF43926u);
  EXPECT_EQ(crc32UpdateBytewise(0, kDigits, 9), 0xCBF43926u);
  EXPECT_EQ(slice8(0, kDigits, 9), 0xCBF43926u);
  if (crc32ClmulAvailable()) {
    EXPECT_EQ(clmul(0, kDigits, 9), 0xCBF43926u);
  }
  if (crc32VpclmulAvailable()) {
    EXPECT_EQ(vpclmul(0, kDigits, 9), 0xCBF43926u);
  }
}

TEST(Crc32, TableIsBuiltOnFirstUse) {
  std::memset(crcTable, 0, sizeof crcTable);
  EXPECT_EQ(crc32UpdateBytewise(0, kDigits, 9), 0xCBF43926u);
  EXPECT_EQ(crcTable[0], 0u);
  EXPECT_EQ(crcTable[1], 0x77073096u);
  EXPECT_EQ(crcTable[255], 0x2D02EF8Du);
}

TEST(Crc32, NonPositiveLengthReturnsInput) {
  for (int32_t length : {0, -1, -100000}) {
    EXPECT_EQ(crc32Update(0xDEADBEEF, kDigits, length), 0xDEADBEEFu);
    EXPECT_EQ(crc32UpdateBytewise(0xDEADBEEF, kDigits, length), 0xDEADBEEFu);
  }
}

TEST(Crc32, ChainedChunksEqualOneCall) {
  auto data = randomBytes(1000, 1);
  const int32_t size = static_cast<int32_t>(data.size());
  const uint32_t whole = crc32Update(0, data.data(), size);
  for (int32_t split = 0; split <= size; split++) {
    uint32_t crc = crc32Update(0, data.data(), split);
    ASSERT_EQ(crc32Update(crc, data.data() + split, size - split), whole) << split;
  }
}

// Every length up to a few KiB at every alignment, from a nonzero start: the
// fast paths switch strategy at several lengths and must agree across each.
TEST(Crc32, FastPathsMatchBytewise) {
  constexpr size_t kMaxLength = 4200;
  auto buffer = randomBytes(kMaxLength + 16, 2);
  std::vector<uint32_t> expected(kMaxLength + 1);
  for (size_t align = 0; align < 16; align++) {
    const uint8_t* data = buffer.data() + align;
    const uint32_t start = 0x9E3779B9u * static_cast<uint32_t>(align + 1);
    expected[0] = start;
    for (size_t n = 1; n <= kMaxLength; n++) {
      expected[n] = crc32UpdateBytewise(expected[n - 1], data + n - 1, 1);
    }
    for (size_t n = 0; n <= kMaxLength; n++) {
      ASSERT_EQ(crc32Update(start, data, static_cast<int32_t>(n)), expected[n])
          << align << " " << n;
      ASSERT_EQ(slice8(start, data, n), expected[n]) << align << " " << n;
      if (crc32ClmulAvailable()) {
        ASSERT_EQ(clmul(start, data, n), expected[n]) << align << " " << n;
      }
      if (crc32VpclmulAvailable()) {
        ASSERT_EQ(vpclmul(start, data, n), expected[n]) << align << " " << n;
      }
    }
  }
}

}  // namespace
}  // namespace extractor
