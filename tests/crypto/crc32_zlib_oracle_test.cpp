#include <gtest/gtest.h>
#include <zlib.h>

#include "crypto/crc32.h"
#include "random_bytes.h"

namespace extractor {
namespace {

// A second opinion from outside this code base, over sizes beyond the
// bytewise comparison and from a nonzero start.
TEST(Crc32ZlibOracle, LargeBuffersMatchZlib) {
  auto data = randomBytes(3 << 20, 3);
  for (size_t size : {size_t{65536}, size_t{1} << 20, data.size(), data.size() - 77}) {
    uLong theirs = crc32(0x12345678, data.data(), static_cast<uInt>(size));
    EXPECT_EQ(crc32Update(0x12345678, data.data(), static_cast<int32_t>(size)), theirs) << size;
  }
}

}  // namespace
}  // namespace extractor
