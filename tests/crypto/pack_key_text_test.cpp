#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>

#include "crypto/aes.h"

namespace extractor {
namespace {

using Key = std::array<uint8_t, 32>;

// The key text as makeAesKey prepares it: cut to 64 bytes, zero padded.
Key pack(const std::string& text) {
  uint8_t keyText[64] = {};
  std::memcpy(keyText, text.data(), text.size() < 64 ? text.size() : 64);
  Key key;
  packKeyText(keyText, key.data());
  return key;
}

Key expectKey(std::initializer_list<uint8_t> leading) {
  Key key{};
  std::copy(leading.begin(), leading.end(), key.begin());
  return key;
}

TEST(PackKeyText, SixBitCharactersByHand) {
  // 'a' is 10 and 'A' is 36: ten or thirty-six, then zero padding.
  EXPECT_EQ(pack("a"), expectKey({0x28}));
  EXPECT_EQ(pack("A"), expectKey({0x90}));
  // 'z' 35 and '9' 9 give the bits 100011 001001.
  // ' ' 62 and '-' 63 give the bits 111110 111111, then zero bits.
  EXPECT_EQ(pack(" -"), expectKey({0xFB, 0xF0}));
  EXPECT_EQ(pack("z9"), expectKey({0x8C, 0x90}));
}

TEST(PackKeyText, HighBytesAreSigned) {
  // 0xFF alone: A = -1 over 8 bits, whose low byte is 0xFF.
  EXPECT_EQ(pack("\xFF"), expectKey({0xFF}));
  // '1' then 0xFF: A = 1 * 256 - 1 = 255 over 14 bits, so the first byte is
  // 255 >> 6 = 3 (unsigned it would be 511 >> 6 = 7) and 63 is left over six
  // bits; the zero byte after it makes 63 * 256 over 14 bits, giving 0xFC.
  EXPECT_EQ(pack("1\xFF"), expectKey({0x03, 0xFC}));
  // 'z' then 0x80: 35 * 256 - 128 = 8832, 8832 >> 6 = 0x8A, nothing left.
  EXPECT_EQ(pack("z\x80"), expectKey({0x8A}));
}

TEST(PackKeyText, FortyThreeSixBitCharactersDecide) {
  const std::string base(43, 'q');
  EXPECT_EQ(pack(base + "abc"), pack(base + "XYZ-"));
  std::string changed = base;
  changed[42] = '-';
  EXPECT_NE(pack(changed), pack(base));
}

TEST(PackKeyText, ThirtyTwoEightBitCharactersDecide) {
  const std::string base(32, '!');
  EXPECT_EQ(pack(base + "#$%"), pack(base + "&&&&&&"));
  std::string changed = base;
  changed[31] = '#';
  EXPECT_NE(pack(changed), pack(base));
}

TEST(PackKeyText, UpperAndLowerCaseDiffer) {
  EXPECT_NE(pack("password"), pack("Password"));
}

TEST(PackKeyText, TextBeyondSixtyFourBytesIsIgnored) {
  const std::string base(64, 'k');
  AesKey a, b;
  ASSERT_EQ(makeAesKey(&a, kAesDecrypt, 256, (base + "first").c_str()), 1);
  ASSERT_EQ(makeAesKey(&b, kAesDecrypt, 256, (base + "other").c_str()), 1);
  EXPECT_EQ(0, std::memcmp(a.roundKeys, b.roundKeys, sizeof a.roundKeys));
  EXPECT_EQ(0, std::memcmp(a.keyText, base.data(), 64));
  EXPECT_EQ(a.keyText[64], 0);
}

}  // namespace
}  // namespace extractor
