// The primitives of WinZip AES against their published vectors, each fast
// path against the portable one, and the entry cipher's round trip.
#include "crypto/winzip_aes.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "crypto/aes_paths.h"
#include "crypto/sha1_paths.h"
#include "random_bytes.h"

namespace extractor {
namespace {

std::vector<uint8_t> hex(const std::string& text) {
  std::vector<uint8_t> bytes;
  for (size_t i = 0; i + 1 < text.size(); i += 2) {
    bytes.push_back(static_cast<uint8_t>(std::stoi(text.substr(i, 2), nullptr, 16)));
  }
  return bytes;
}

std::vector<uint8_t> bytesOf(const std::string& text) {
  return std::vector<uint8_t>(text.begin(), text.end());
}

std::vector<uint8_t> repeat(uint8_t value, size_t count) {
  return std::vector<uint8_t>(count, value);
}

std::vector<uint8_t> sha1(const std::vector<uint8_t>& message) {
  Sha1 hash;
  hash.update(message.data(), message.size());
  std::vector<uint8_t> digest(kSha1DigestSize);
  hash.finish(digest.data());
  return digest;
}

// FIPS 180 examples, with lengths on both sides of the padding boundary.
TEST(Sha1, PublishedDigests) {
  struct Case {
    std::vector<uint8_t> message;
    const char* digest;
  } cases[] = {
      {{}, "da39a3ee5e6b4b0d3255bfef95601890afd80709"},
      {bytesOf("abc"), "a9993e364706816aba3e25717850c26c9cd0d89d"},
      {bytesOf("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
       "84983e441c3bd26ebaae4aa1f95129e5e54670f1"},
      {repeat('a', 1000000), "34aa973cd4c4daa4f61eeb2bdbad27316534016f"},
  };
  for (const Case& c : cases) EXPECT_EQ(sha1(c.message), hex(c.digest)) << c.digest;
}

TEST(Sha1, ShaExtensionsMatchPortable) {
  if (!sha1ShaNiAvailable()) GTEST_SKIP() << "no SHA extensions";
  std::vector<uint8_t> data = randomBytes(64 * 37, 7);
  uint32_t a[5] = {1, 2, 3, 4, 5}, b[5] = {1, 2, 3, 4, 5};
  sha1BlocksPortable(a, data.data(), 37);
  sha1BlocksShaNi(b, data.data(), 37);
  EXPECT_EQ(0, std::memcmp(a, b, sizeof a));
}

TEST(Sha1, SplitUpdatesMatchOneUpdate) {
  std::vector<uint8_t> data = randomBytes(1000, 3);
  for (size_t cut : {size_t{0}, size_t{1}, size_t{63}, size_t{64}, size_t{65}, size_t{999}}) {
    Sha1 hash;
    hash.update(data.data(), cut);
    hash.update(data.data() + cut, data.size() - cut);
    uint8_t digest[kSha1DigestSize];
    hash.finish(digest);
    EXPECT_EQ(std::vector<uint8_t>(digest, digest + kSha1DigestSize), sha1(data)) << cut;
  }
}

// RFC 2202, section 3.
TEST(HmacSha1, Rfc2202) {
  struct Case {
    std::vector<uint8_t> key, data;
    const char* code;
  } cases[] = {
      {repeat(0x0b, 20), bytesOf("Hi There"), "b617318655057264e28bc0b6fb378c8ef146be00"},
      {bytesOf("Jefe"), bytesOf("what do ya want for nothing?"),
       "effcdf6ae5eb2fa2d27416d5f184df9c259a7c79"},
      {repeat(0xaa, 20), repeat(0xdd, 50), "125d7342b9ac11cd91a39af48aa17b4f63f175d3"},
      {hex("0102030405060708090a0b0c0d0e0f10111213141516171819"), repeat(0xcd, 50),
       "4c9007f4026250c6bc8414f9bf50c86c2d7235da"},
      {repeat(0x0c, 20), bytesOf("Test With Truncation"),
       "4c1a03424b55e07fe7f27be1d58bb9324a9a5a04"},
      {repeat(0xaa, 80), bytesOf("Test Using Larger Than Block-Size Key - Hash Key First"),
       "aa4ae5e15272d00e95705637ce8a3b55ed402112"},
      {repeat(0xaa, 80),
       bytesOf("Test Using Larger Than Block-Size Key and Larger Than One Block-Size Data"),
       "e8e99d0f45237d786d6bbaa7965c7808bbff1a91"},
  };
  for (const Case& c : cases) {
    HmacSha1 mac(c.key.data(), c.key.size());
    // Twice, to see that finish leaves the key ready for the next message.
    for (int round = 0; round < 2; round++) {
      mac.update(c.data.data(), c.data.size());
      std::vector<uint8_t> code(kSha1DigestSize);
      mac.finish(code.data());
      EXPECT_EQ(code, hex(c.code)) << c.code;
    }
  }
}

// RFC 6070 (the 16,777,216-iteration case left out for time).
TEST(Pbkdf2HmacSha1, Rfc6070) {
  struct Case {
    std::string password, salt;
    uint32_t iterations;
    const char* key;
  } cases[] = {
      {"password", "salt", 1, "0c60c80f961f0e71f3a9b524af6012062fe037a6"},
      {"password", "salt", 2, "ea6c014dc72d6f8ccd1ed92ace1d41f0d8de8957"},
      {"password", "salt", 4096, "4b007901b765489abead49d926f721d065a429c1"},
      {"passwordPASSWORDpassword", "saltSALTsaltSALTsaltSALTsaltSALTsalt", 4096,
       "3d2eec4fe41c849b80c8d83662c0e44a8b291a964cf2f07038"},
      {std::string("pass\0word", 9), std::string("sa\0lt", 5), 4096,
       "56fa6aa75548099dcc37d7f03425e0c3"},
  };
  for (const Case& c : cases) {
    std::vector<uint8_t> expected = hex(c.key);
    std::vector<uint8_t> key(expected.size());
    pbkdf2HmacSha1(reinterpret_cast<const uint8_t*>(c.password.data()), c.password.size(),
                   reinterpret_cast<const uint8_t*>(c.salt.data()), c.salt.size(), c.iterations,
                   key.data(), key.size());
    EXPECT_EQ(key, expected) << c.key;
  }
}

// SP 800-38A F.5.1, F.5.3, F.5.5: the CTR examples, whose big-endian counter
// blocks are given; the cipher and key schedule under test produce their
// keystream.
TEST(AesCtr, Sp800_38aOnEveryPath) {
  struct Case {
    const char* key;
    const char* cipher;
  } cases[] = {
      {"2b7e151628aed2a6abf7158809cf4f3c",
       "874d6191b620e3261bef6864990db6ce9806f66b7970fdff8617187bb9fffdff"
       "5ae4df3edbd5d35e5b4f09020db03eab1e031dda2fbe03d1792170a0f3009cee"},
      {"8e73b0f7da0e6452c810f32b809079e562f8ead2522c6b7b",
       "1abc932417521ca24f2b0459fe7e6e0b090339ec0aa6faefd5ccc2c6f4ce8e94"
       "1e36b26bd1ebc670d1bd1d665620abf74f78a7f6d29809585a97daec58c6b050"},
      {"603deb1015ca71be2b73aef0857d77811f352c073b6108d72d9810a30914dff4",
       "601ec313775789a5b7a7f504bbf3d228f443e3ca4d62b59aca84e990cacaf5c5"
       "2b0930daa23de94ce87017ba2d84988ddfc9c58db67aada613c2dd08457941a6"},
  };
  const std::vector<uint8_t> plain =
      hex("6bc1bee22e409f96e93d7e117393172aae2d8a571e03ac9c9eb76fac45af8e51"
          "30c81c46a35ce411e5fbc1191a0a52eff69f2445df4f9b17ad2b417be66c3710");
  std::vector<uint8_t> counters;
  for (uint8_t last : {0xff, 0x00, 0x01, 0x02}) {
    std::vector<uint8_t> block = hex("f0f1f2f3f4f5f6f7f8f9fafbfcfdfe00");
    block[15] = last;
    if (last != 0xff) block[14] = 0xff;
    counters.insert(counters.end(), block.begin(), block.end());
  }
  using Path = void (*)(const AesKey&, const uint8_t*, uint8_t*, size_t);
  std::vector<Path> paths = {encryptBlocksTable};
  if (aesNiAvailable()) paths.push_back(encryptBlocksAesNi);
  for (const Case& c : cases) {
    std::vector<uint8_t> keyBytes = hex(c.key);
    AesKey key;
    makeAesEncryptionKey(key, keyBytes.data(), static_cast<int>(keyBytes.size() * 8));
    for (Path path : paths) {
      std::vector<uint8_t> stream(counters.size());
      path(key, counters.data(), stream.data(), 4);
      for (size_t i = 0; i < stream.size(); i++) stream[i] ^= plain[i];
      EXPECT_EQ(stream, hex(c.cipher)) << c.key;
    }
  }
}

// The entry cipher's counter: little-endian from 1, whatever the split.
TEST(AesCtr, LittleEndianCounterOnEveryPathAndSplit) {
  const std::vector<uint8_t> keyBytes =
      hex("603deb1015ca71be2b73aef0857d77811f352c073b6108d72d9810a30914dff4");
  AesKey key;
  makeAesEncryptionKey(key, keyBytes.data(), 256);
  const size_t blocks = 300;
  std::vector<uint8_t> expected(blocks * 16, 0);
  for (size_t i = 0; i < blocks; i++) {
    expected[16 * i] = static_cast<uint8_t>(i + 1);
    expected[16 * i + 1] = static_cast<uint8_t>((i + 1) >> 8);
  }
  encryptBlocksTable(key, expected.data(), expected.data(), blocks);
  using Path = void (*)(const AesKey&, uint64_t, uint8_t*, size_t);
  std::vector<Path> paths = {ctrXorTable};
  if (aesNiAvailable()) paths.push_back(ctrXorAesNi);
  if (ctrVaesAvailable()) paths.push_back(ctrXorVaes);
  for (Path path : paths) {
    // Past the first block, so that a wrong start or step shows.
    std::vector<uint8_t> stream(blocks * 16, 0);
    path(key, 1, stream.data(), 1);
    path(key, 2, stream.data() + 16, blocks - 1);
    EXPECT_EQ(stream, expected);
  }
  for (size_t cut : {size_t{1}, size_t{15}, size_t{16}, size_t{17}, size_t{200}, size_t{4797}}) {
    AesCtr ctr;
    ctr.setKey(keyBytes.data(), 256);
    std::vector<uint8_t> stream(blocks * 16, 0);
    ctr.apply(stream.data(), cut);
    ctr.apply(stream.data() + cut, 3);
    ctr.apply(stream.data() + cut + 3, stream.size() - cut - 3);
    EXPECT_EQ(stream, expected) << cut;
  }
}

TEST(WinZipAes, RoundTripAndTamperedCode) {
  const std::vector<uint8_t> salt = hex("0102030405060708090a0b0c0d0e0f10");
  const std::string password = "p\xc3\xa4ss";
  for (int strength = 1; strength <= 3; strength++) {
    WinZipAesKeys keys = deriveWinZipAesKeys(reinterpret_cast<const uint8_t*>(password.data()),
                                             password.size(), salt.data(), strength);
    std::vector<uint8_t> data = randomBytes(5000, static_cast<uint32_t>(strength));
    std::vector<uint8_t> sealed = data;
    WinZipAesData writer(keys);
    writer.encrypt(sealed.data(), 1234);
    writer.encrypt(sealed.data() + 1234, sealed.size() - 1234);
    uint8_t code[kWinZipAesCodeSize];
    writer.code(code);
    EXPECT_NE(sealed, data);

    std::vector<uint8_t> opened = sealed;
    WinZipAesData reader(keys);
    reader.decrypt(opened.data(), opened.size());
    EXPECT_EQ(opened, data);
    EXPECT_TRUE(reader.codeMatches(code));

    sealed[4321] ^= 1;
    WinZipAesData tampered(keys);
    tampered.decrypt(sealed.data(), sealed.size());
    EXPECT_FALSE(tampered.codeMatches(code)) << strength;
  }
}

}  // namespace
}  // namespace extractor
