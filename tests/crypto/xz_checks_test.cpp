// CRC-64 and SHA-256, the checks of .xz blocks: published check values,
// both CRC-64 paths alike at every length and alignment, and data given in
// pieces hashing as in one.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "crypto/crc64.h"
#include "crypto/crc64_paths.h"
#include "crypto/sha256.h"
#include "random_bytes.h"

namespace extractor {
namespace {

const uint8_t* bytesOf(const std::string& s) {
  return reinterpret_cast<const uint8_t*>(s.data());
}

std::string sha256Hex(const std::string& message, size_t piece) {
  Sha256 hash;
  for (size_t i = 0; i < message.size(); i += piece) {
    hash.update(bytesOf(message) + i, std::min(piece, message.size() - i));
  }
  uint8_t digest[kSha256DigestSize];
  hash.finish(digest);
  std::string hex;
  char two[3];
  for (uint8_t b : digest) {
    std::snprintf(two, sizeof two, "%02x", b);
    hex += two;
  }
  return hex;
}

TEST(Crc64, CheckValueOnEveryPath) {
  const std::string nine = "123456789";
  EXPECT_EQ(crc64Update(0, bytesOf(nine), nine.size()), 0x995DC9BBDF1939FAull);
  EXPECT_EQ(~crc64Slice8(~0ull, bytesOf(nine), nine.size()), 0x995DC9BBDF1939FAull);
  EXPECT_EQ(~crc64Clmul(~0ull, bytesOf(nine), nine.size()), 0x995DC9BBDF1939FAull);
}

TEST(Crc64, PathsAgreeAtEveryLengthAndAlignment) {
  const std::vector<uint8_t> data = randomBytes(5000, 3);
  for (size_t offset = 0; offset < 16; ++offset) {
    for (size_t length = 0; length + offset <= data.size(); length += length < 600 ? 1 : 397) {
      const uint64_t slice = crc64Slice8(0x0123456789ABCDEFull, data.data() + offset, length);
      ASSERT_EQ(crc64Clmul(0x0123456789ABCDEFull, data.data() + offset, length), slice)
          << offset << " " << length;
    }
  }
  const uint64_t whole = crc64Update(0, data.data(), data.size());
  EXPECT_EQ(crc64Update(crc64Update(0, data.data(), 1234), data.data() + 1234, data.size() - 1234),
            whole);
}

TEST(Sha256, PublishedVectorsInAnyPieces) {
  const struct {
    std::string message;
    const char* digest;
  } cases[] = {
      {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
      {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
       "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
      {std::string(1000000, 'a'),
       "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
  };
  for (const auto& c : cases) {
    for (size_t piece : {size_t{1}, size_t{63}, size_t{64}, size_t{1000}, size_t{1} << 20}) {
      if (piece == 1 && c.message.size() > 1000) continue;
      EXPECT_EQ(sha256Hex(c.message, piece), c.digest) << c.message.size() << " by " << piece;
    }
  }
}

}  // namespace
}  // namespace extractor
