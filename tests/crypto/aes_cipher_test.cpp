#include "crypto/aes.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "crypto/aes_paths.h"
#include "random_bytes.h"

namespace extractor {
namespace {

// FIPS-197 Appendix C.3.
const uint8_t kPlain[16] = {0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77,
                            0x88, 0x99, 0xaa, 0xbb, 0xcc, 0xdd, 0xee, 0xff};
const uint8_t kCipher[16] = {0x8e, 0xa2, 0xb7, 0xca, 0x51, 0x67, 0x45, 0xbf,
                             0xea, 0xfc, 0x49, 0x90, 0x4b, 0x49, 0x60, 0x89};

// Key text whose 6-bit characters spell the key bytes 00 01 02 ... 1f.
const char kKeyText[] = "00420Mg51ws82gEb30Qe3N0h4xck5hon61Aq6NMt7xY";

using Path = void (*)(const AesKey&, const uint8_t*, uint8_t*, size_t);

struct Paths {
  Path decrypt, encrypt;
};

std::vector<Paths> availablePaths() {
  std::vector<Paths> paths = {{decryptBlocksTable, encryptBlocksTable}};
  if (aesNiAvailable()) paths.push_back({decryptBlocksAesNi, encryptBlocksAesNi});
  return paths;
}

AesKey keyFor(int direction, int rounds, const char* text = kKeyText) {
  AesKey key;
  key.rounds = rounds;
  EXPECT_EQ(makeAesKey(&key, direction, 256, text), 1);
  return key;
}

TEST(AesCipher, FipsVectorFromKeyText) {
  uint8_t packed[32];
  AesKey key = keyFor(kAesDecrypt, 14);
  packKeyText(key.keyText, packed);
  for (int i = 0; i < 32; i++) ASSERT_EQ(packed[i], i);
}

TEST(AesCipher, FipsVectorOnEveryPath) {
  const AesKey enc = keyFor(kAesEncrypt, 14);
  const AesKey dec = keyFor(kAesDecrypt, 14);
  for (const Paths& path : availablePaths()) {
    uint8_t out[16];
    path.encrypt(enc, kPlain, out, 1);
    EXPECT_EQ(0, std::memcmp(out, kCipher, 16));
    path.decrypt(dec, kCipher, out, 1);
    EXPECT_EQ(0, std::memcmp(out, kPlain, 16));
  }
  uint8_t out[16];
  encryptAesBlock(enc, kPlain, out);
  EXPECT_EQ(0, std::memcmp(out, kCipher, 16));
  decryptAesBlock(dec, kCipher, out);
  EXPECT_EQ(0, std::memcmp(out, kPlain, 16));
}

TEST(AesCipher, FipsVectorFromRawKey) {
  uint8_t raw[32];
  for (int i = 0; i < 32; i++) raw[i] = static_cast<uint8_t>(i);
  AesKey key;
  expandAesKey(key, kAesDecrypt, raw);
  uint8_t out[16];
  decryptAesBlock(key, kCipher, out);
  EXPECT_EQ(0, std::memcmp(out, kPlain, 16));
}

TEST(AesCipher, ReducedRoundsRoundTripAndDiffer) {
  const auto plain = randomBytes(64, 5);
  std::vector<std::vector<uint8_t>> ciphers;
  for (int rounds : {2, 8, 14}) {
    const AesKey enc = keyFor(kAesEncrypt, rounds, "round trip");
    const AesKey dec = keyFor(kAesDecrypt, rounds, "round trip");
    std::vector<uint8_t> cipher(64), back(64);
    ASSERT_EQ(encryptAesBlocks(enc, plain.data(), 64 * 8, cipher.data()), 64 * 8);
    ASSERT_EQ(decryptAesBlocks(dec, cipher.data(), 64 * 8, back.data()), 64 * 8);
    EXPECT_EQ(back, plain) << rounds;
    for (const auto& other : ciphers) EXPECT_NE(cipher, other) << rounds;
    ciphers.push_back(cipher);
  }
}

TEST(AesCipher, MakeKeyResults) {
  AesKey key;
  EXPECT_EQ(makeAesKey(nullptr, 1, 256, "x"), kAesNoKey);
  EXPECT_EQ(makeAesKey(&key, 2, 256, "x"), kAesBadDirection);
  EXPECT_EQ(makeAesKey(&key, -1, 256, "x"), kAesBadDirection);
  EXPECT_EQ(makeAesKey(&key, 1, 100, "x"), kAesBadKeyBits);
  EXPECT_EQ(makeAesKey(&key, 1, 128, "x"), 1);
  EXPECT_EQ(key.keyBits, 128);
  EXPECT_EQ(makeAesKey(&key, 0, 256, nullptr), 1);
  EXPECT_EQ(key.direction, kAesEncrypt);
}

TEST(AesCipher, BlockCallsCountAndCheckDirection) {
  const AesKey enc = keyFor(kAesEncrypt, 14);
  const AesKey dec = keyFor(kAesDecrypt, 14);
  auto in = randomBytes(48, 6);
  std::vector<uint8_t> out(48, 0xEE);
  EXPECT_EQ(decryptAesBlocks(enc, in.data(), 128, out.data()), kAesWrongDirection);
  EXPECT_EQ(encryptAesBlocks(dec, in.data(), 128, out.data()), kAesWrongDirection);
  EXPECT_EQ(decryptAesLast(enc, in.data(), 16, out.data()), kAesWrongDirection);
  EXPECT_EQ(decryptAesBlocks(dec, nullptr, 128, out.data()), 0);
  EXPECT_EQ(decryptAesBlocks(dec, in.data(), 0, out.data()), 0);
  EXPECT_EQ(decryptAesBlocks(dec, in.data(), -128, out.data()), 0);
  // 300 bits are two whole blocks; the third is not touched.
  EXPECT_EQ(decryptAesBlocks(dec, in.data(), 300, out.data()), 256);
  for (int i = 32; i < 48; i++) EXPECT_EQ(out[i], 0xEE);
}

// The instruction path against the table path, both directions, every round
// count the entries use, every block count up to 4 KiB, every alignment of
// input and output, out of place and in place.
TEST(AesCipher, InstructionPathMatchesTables) {
  if (!aesNiAvailable()) GTEST_SKIP() << "no AES instructions";
  constexpr size_t kMaxBlocks = 256;
  const auto buffer = randomBytes(kMaxBlocks * 16 + 16, 7);
  std::vector<uint8_t> a(kMaxBlocks * 16 + 16), b(kMaxBlocks * 16 + 16);
  for (int rounds : {2, 8, 14}) {
    for (int direction : {kAesEncrypt, kAesDecrypt}) {
      const AesKey key = keyFor(direction, rounds, "agreement");
      Path table = direction == kAesEncrypt ? encryptBlocksTable : decryptBlocksTable;
      Path ni = direction == kAesEncrypt ? encryptBlocksAesNi : decryptBlocksAesNi;
      for (size_t align = 0; align < 16; align++) {
        const uint8_t* in = buffer.data() + align;
        for (size_t blocks = 0; blocks <= kMaxBlocks; blocks++) {
          table(key, in, a.data() + (15 - align), blocks);
          std::memcpy(b.data() + align, in, blocks * 16);
          ni(key, b.data() + align, b.data() + align, blocks);
          ASSERT_EQ(0, std::memcmp(a.data() + (15 - align), b.data() + align, blocks * 16))
              << rounds << " " << direction << " " << align << " " << blocks;
        }
      }
    }
  }
}

}  // namespace
}  // namespace extractor
