#include "crypto/zip_crypto.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "crypto/crc32.h"
#include "random_bytes.h"

namespace extractor {
namespace {

const uint8_t* bytes(const std::string& s) {
  return reinterpret_cast<const uint8_t*>(s.data());
}

TEST(ZipCrypto, EmptyPasswordLeavesInitialKeys) {
  ZipCryptKeys keys;
  keys.key0 = keys.key1 = keys.key2 = 0;
  initKeys(keys, nullptr, 0);
  EXPECT_EQ(keys.key0, 0x12345678u);
  EXPECT_EQ(keys.key1, 0x23456789u);
  EXPECT_EQ(keys.key2, 0x34567890u);
}

// key0 is a CRC register without the inversions, so it must track the CRC of
// the bytes fed to it.
TEST(ZipCrypto, FirstKeyFollowsTheCrc) {
  const std::string password = "correct horse";
  ZipCryptKeys keys;
  initKeys(keys, bytes(password), password.size());
  uint32_t crc =
      crc32UpdateBytewise(~0x12345678u, bytes(password), static_cast<int32_t>(password.size()));
  EXPECT_EQ(keys.key0, ~crc);
}

// One step by hand from the initial keys with plaintext byte 0x41.
TEST(ZipCrypto, OneStepByHand) {
  ZipCryptKeys keys;
  // t = 0x7890 | 2 = 0x7892; t * (t ^ 1) = 0x38C9ABD6, whose bits 8..15 are 0xAB.
  EXPECT_EQ(encryptByte(keys, 0x41), 0x41 ^ 0xAB);
  if (crcTable[1] == 0) buildCrcTable();
  uint32_t key0 = (0x12345678u >> 8) ^ crcTable[(0x78 ^ 0x41) & 0xFF];
  uint32_t key1 = (0x23456789u + (key0 & 0xFF)) * 0x08088405u + 1;
  uint32_t key2 = (0x34567890u >> 8) ^ crcTable[(0x90 ^ (key1 >> 24)) & 0xFF];
  EXPECT_EQ(keys.key0, key0);
  EXPECT_EQ(keys.key1, key1);
  EXPECT_EQ(keys.key2, key2);
}

// The packer's header and data, read back the way the extractor reads them:
// the keys that checked the header go on to decrypt the data.
TEST(ZipCrypto, HeaderAndDataRoundTrip) {
  const std::string password = "p\xE4ssw\xF6rd";
  const uint8_t random[11] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11};
  const uint32_t crc = 0xA1B2C3D4;
  const auto plain = randomBytes(1000, 4);

  ZipCryptKeys writer;
  uint8_t header[12];
  makeCryptHeader(writer, bytes(password), password.size(), random, crc >> 24, header);
  auto data = plain;
  encryptBuffer(writer, data.data(), static_cast<uint32_t>(data.size()));
  EXPECT_NE(data, plain);

  ZipCryptKeys reader;
  initKeys(reader, bytes(password), password.size());
  uint8_t decrypted[12];
  std::memcpy(decrypted, header, 12);
  decryptHeader(reader, decrypted);
  EXPECT_EQ(decrypted[11], crc >> 24);
  EXPECT_EQ(0, std::memcmp(decrypted, random, 11));
  // Decrypt in uneven chunks: the state must carry across calls.
  decryptBuffer(reader, data.data(), 7);
  decryptBuffer(reader, data.data() + 7, 0);
  decryptBuffer(reader, data.data() + 7, static_cast<uint32_t>(data.size() - 7));
  EXPECT_EQ(data, plain);
}

TEST(ZipCrypto, WrongPasswordGivesOtherHeader) {
  const uint8_t random[11] = {};
  ZipCryptKeys keys;
  uint8_t header[12];
  makeCryptHeader(keys, bytes("right"), 5, random, 0x5A, header);
  initKeys(keys, bytes("wrong"), 5);
  decryptHeader(keys, header);
  EXPECT_NE(header[11], 0x5A);
}

}  // namespace
}  // namespace extractor
