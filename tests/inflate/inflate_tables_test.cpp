#include <gtest/gtest.h>

#include "inflate/code_tables.h"
#include "inflate/inflate.h"

namespace extractor {
namespace {

// RFC 1951 section 3.2.5.
TEST(InflateTables, LengthAndDistanceBases) {
  const uint32_t lengthBases[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                    31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
  const uint32_t lengthExtras[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                     2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
  const uint32_t distBases[30] = {1,    2,    3,    4,    5,    7,    9,    13,    17,    25,
                                  33,   49,   65,   97,   129,  193,  257,  385,   513,   769,
                                  1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
  for (int pass = 0; pass < 2; ++pass) {
    buildInflateTables();
    for (unsigned i = 0; i < 29; ++i) {
      EXPECT_EQ(lengthBases[i], lengthBase[257 + i]) << i;
      EXPECT_EQ(lengthExtras[i], lengthExtra[257 + i]) << i;
    }
    for (unsigned s : {286u, 287u}) EXPECT_EQ(0u, lengthBase[s] + lengthExtra[s]);
    for (unsigned c = 0; c < 30; ++c) {
      EXPECT_EQ(distBases[c], distBase[c]) << c;
      EXPECT_EQ(c < 4 ? 0 : c / 2 - 1, distExtra[c]) << c;
    }
    EXPECT_EQ(32769u, distBase[30]);
    EXPECT_EQ(49153u, distBase[31]);
    EXPECT_EQ(14u, distExtra[31]);
  }
}

}  // namespace
}  // namespace extractor
