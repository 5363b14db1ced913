#include "crypto/aes_entry.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "random_bytes.h"

namespace extractor {
namespace {

const std::string kPassword = "Secret-Pass 42";

std::vector<uint8_t> encryptPlainBlocks(const std::vector<uint8_t>& plain, int32_t kind = 4) {
  AesKey key;
  EXPECT_EQ(setupEntryAesEncryption(key, kind, kPassword), 1);
  std::vector<uint8_t> cipher(plain.size());
  encryptAesBlocks(key, plain.data(), static_cast<int32_t>(plain.size() * 8), cipher.data());
  return cipher;
}

AesKey decryptionKey(int32_t kind = 4, const std::string& password = kPassword) {
  AesKey key;
  EXPECT_EQ(setupEntryAes(key, kind, password), 1);
  return key;
}

TEST(AesEntry, KindSelectsRounds) {
  const std::pair<int32_t, int32_t> cases[] = {{2, 2}, {3, 8}, {4, 14}, {0, 14}, {7, 14}};
  for (auto [kind, rounds] : cases) {
    AesKey key = decryptionKey(kind);
    EXPECT_EQ(key.rounds, rounds) << kind;
    EXPECT_EQ(key.direction, kAesDecrypt);
    EXPECT_EQ(key.keyBits, 256);
  }
}

TEST(AesEntry, ChunkLeavesPartialBlock) {
  const auto plain = randomBytes(48, 8);
  auto buffer = encryptPlainBlocks(plain);
  const auto cipher = buffer;
  decryptAesChunk(decryptionKey(), buffer.data(), 40);
  EXPECT_EQ(0, std::memcmp(buffer.data(), plain.data(), 32));
  EXPECT_EQ(0, std::memcmp(buffer.data() + 32, cipher.data() + 32, 16));
}

struct FinalCase {
  uint8_t padByte;
  int padCount;
  int32_t expectedLength;  // of a 32-byte final chunk
};

TEST(AesEntry, FinalPaddingRule) {
  const FinalCase cases[] = {
      {16, 16, 16},              // a whole block of padding yields nothing of it
      {0, 1, 32},                // a final zero keeps the whole block
      {3, 3, 29},   {5, 4, -8},  // count says five, only four carry it
      {17, 17, -8},              // more than a block
  };
  for (const FinalCase& c : cases) {
    auto plain = randomBytes(32, 9);
    for (int i = 0; i < c.padCount && i < 16; i++) plain[31 - i] = c.padByte;
    auto buffer = encryptPlainBlocks(plain);
    const auto cipher = buffer;
    int32_t length = 32;
    bool ok = decryptAesFinal(decryptionKey(), buffer.data(), length);
    EXPECT_EQ(length, c.expectedLength) << int{c.padByte};
    EXPECT_EQ(ok, c.expectedLength >= 0);
    if (ok) {
      EXPECT_EQ(0, std::memcmp(buffer.data(), plain.data(), length));
    } else {
      EXPECT_EQ(buffer, cipher) << "a failed final chunk stays encrypted";
    }
  }
}

TEST(AesEntry, FinalRejectsPartialBlocksAndAcceptsEmpty) {
  auto buffer = randomBytes(20, 10);
  const auto before = buffer;
  int32_t length = 20;
  EXPECT_FALSE(decryptAesFinal(decryptionKey(), buffer.data(), length));
  EXPECT_EQ(length, -8);
  EXPECT_EQ(buffer, before);
  for (int32_t empty : {0, -16}) {
    length = empty;
    EXPECT_TRUE(decryptAesFinal(decryptionKey(), buffer.data(), length));
    EXPECT_EQ(length, 0);
  }
}

// Data from the packer's side read back in chunks the way the extractor
// reads an entry, for sizes around every padding count.
TEST(AesEntry, EntryDataRoundTrip) {
  const auto source = randomBytes(100, 11);
  for (int32_t kind : {2, 3, 4}) {
    const AesKey key = decryptionKey(kind);
    for (size_t size = 0; size <= source.size(); size++) {
      auto cipher = encryptAesEntryData(kind, kPassword, source.data(), size);
      ASSERT_EQ(cipher.size(), size / 16 * 16 + 16);
      const uint32_t chunk = 32;
      size_t done = 0;
      for (; cipher.size() - done > chunk; done += chunk)
        decryptAesChunk(key, &cipher[done], chunk);
      int32_t length = static_cast<int32_t>(cipher.size() - done);
      ASSERT_TRUE(decryptAesFinal(key, &cipher[done], length)) << kind << " " << size;
      ASSERT_EQ(done + length, size);
      ASSERT_EQ(0, std::memcmp(cipher.data(), source.data(), size)) << kind << " " << size;
    }
  }
}

TEST(AesEntry, VerifierPassesOnlyForItsPasswordKindAndCrc) {
  const uint32_t crc = 0xCBF43926;
  for (int32_t kind : {2, 3, 4}) {
    const auto block = makeAesVerifier(kind, kPassword, crc);
    EXPECT_TRUE(checkAesVerifier(decryptionKey(kind), block.data(), crc)) << kind;
    EXPECT_FALSE(checkAesVerifier(decryptionKey(kind, "secret-pass 42"), block.data(), crc));
    EXPECT_FALSE(checkAesVerifier(decryptionKey(kind), block.data(), crc ^ 1));
    EXPECT_FALSE(checkAesVerifier(decryptionKey(kind == 4 ? 2 : 4), block.data(), crc));

    // The same check spelled out: last-block rule, then the CRC bytes.
    uint8_t buffer[16];
    std::memcpy(buffer, block.data(), 16);
    int32_t length = 16;
    ASSERT_TRUE(decryptAesFinal(decryptionKey(kind), buffer, length));
    EXPECT_EQ(length, 4);
    EXPECT_EQ(buffer[0] | buffer[1] << 8 | buffer[2] << 16 | uint32_t{buffer[3]} << 24, crc);
  }
}

// A block that is all padding writes nothing back, so the comparison sees
// ciphertext, even though the plaintext starts with the CRC's bytes.
TEST(AesEntry, VerifierWithoutDataBytesFails) {
  const std::vector<uint8_t> plain(16, 16);
  const auto block = encryptPlainBlocks(plain);
  EXPECT_FALSE(checkAesVerifier(decryptionKey(), block.data(), 0x10101010));
}

}  // namespace
}  // namespace extractor
