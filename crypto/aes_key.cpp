#include <cstring>

#include "crypto/aes.h"
#include "crypto/aes_tables.h"

namespace extractor {

constexpr int kKeySize = 32;
constexpr int kKeyWords = kKeySize / 4;
constexpr int kMaxRounds = 14;
constexpr int kScheduleWords = 4 * (kMaxRounds + 1);

// The 6-bit value of a character of the 64-character set, or -1.
static int sixBitValue(uint8_t c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'z') return c - 'a' + 10;
  if (c >= 'A' && c <= 'Z') return c - 'A' + 36;
  if (c == ' ') return 62;
  if (c == '-') return 63;
  return -1;
}

void packKeyText(const uint8_t keyText[64], uint8_t key[32]) {
  // The accumulator is signed on purpose: a byte from 0x80 up enters as a
  // negative value and borrows from the bits collected before it.
  int32_t acc = 0;
  int bits = 0;
  int next = 0;
  for (int i = 0; i < kKeySize;) {
    if (bits >= 8) {
      int32_t low16 = acc & 0xFFFF;
      key[i++] = static_cast<uint8_t>(low16 >> (bits - 8));
      acc = low16 & ((1 << (bits - 8)) - 1);
      bits -= 8;
      continue;
    }
    uint8_t c = keyText[next++];
    int v = sixBitValue(c);
    if (v >= 0) {
      acc = acc * 64 + v;
      bits += 6;
    } else {
      acc = acc * 256 + static_cast<int8_t>(c);
      bits += 8;
    }
  }
}

static uint32_t subWord(uint32_t w) {
  const uint8_t* s = aesTables.sBox;
  return columnWord(s[w >> 24], s[(w >> 16) & 0xFF], s[(w >> 8) & 0xFF], s[w & 0xFF]);
}

// FIPS-197 section 5.2 for a key of nk words, filling the 4 * (rounds + 1)
// words of the schedule.
static void expandKey(const uint8_t* key, int nk, int rounds, uint32_t* w) {
  for (int i = 0; i < nk; i++) {
    w[i] = columnWord(key[4 * i], key[4 * i + 1], key[4 * i + 2], key[4 * i + 3]);
  }
  uint8_t rcon = 1;
  for (int i = nk; i < 4 * (rounds + 1); i++) {
    uint32_t t = w[i - 1];
    if (i % nk == 0) {
      t = subWord(rotateRight(t, 24)) ^ uint32_t { rcon } << 24;
      rcon = gfTimes2(rcon);
    } else if (nk > 6 && i % nk == 4) {
      t = subWord(t);
    }
    w[i] = w[i - nk] ^ t;
  }
}

// The decryption tables undo an S-box step, so feeding them S-box outputs
// leaves InvMixColumns alone.
static uint32_t invMixColumn(uint32_t w) {
  const uint8_t* s = aesTables.sBox;
  const auto& d = aesTables.decrypt;
  return d[0][s[w >> 24]] ^ d[1][s[(w >> 16) & 0xFF]] ^ d[2][s[(w >> 8) & 0xFF]] ^
         d[3][s[w & 0xFF]];
}

// The equivalent inverse cipher: round keys Nr..0, those between the ends
// passed through InvMixColumns.
static void makeDecryptionSchedule(const uint32_t w[60], int rounds, uint32_t out[60]) {
  for (int r = 0; r <= rounds; r++) {
    for (int c = 0; c < 4; c++) {
      uint32_t word = w[4 * (rounds - r) + c];
      out[4 * r + c] = (r == 0 || r == rounds) ? word : invMixColumn(word);
    }
  }
}

static void storeScheduleBytes(AesKey& key) {
  for (int i = 0; i < kScheduleWords; i++) {
    for (int j = 0; j < 4; j++) {
      key.roundKeyBytes[4 * i + j] = static_cast<uint8_t>(key.roundKeys[i] >> (24 - 8 * j));
    }
  }
}

void expandAesKey(AesKey& key, int direction, const uint8_t keyBytes[32]) {
  key.direction = static_cast<uint8_t>(direction);
  if (key.rounds < 1 || key.rounds > kMaxRounds) key.rounds = kMaxRounds;
  uint32_t w[kScheduleWords];
  expandKey(keyBytes, kKeyWords, kMaxRounds, w);
  std::memset(key.roundKeys, 0, sizeof key.roundKeys);
  if (direction == kAesDecrypt) {
    makeDecryptionSchedule(w, key.rounds, key.roundKeys);
  } else {
    std::memcpy(key.roundKeys, w, sizeof w);
  }
  storeScheduleBytes(key);
}

void makeAesEncryptionKey(AesKey& key, const uint8_t* keyBytes, int keyBits) {
  const int nk = keyBits / 32;
  key.direction = kAesEncrypt;
  key.keyBits = keyBits;
  key.rounds = nk + 6;
  std::memset(key.roundKeys, 0, sizeof key.roundKeys);
  expandKey(keyBytes, nk, key.rounds, key.roundKeys);
  storeScheduleBytes(key);
}

int32_t makeAesKey(AesKey* key, int direction, int keyBits, const char* text) {
  if (key == nullptr) return kAesNoKey;
  if (direction != kAesEncrypt && direction != kAesDecrypt) return kAesBadDirection;
  if (keyBits != 128 && keyBits != 192 && keyBits != 256) return kAesBadKeyBits;
  key->direction = static_cast<uint8_t>(direction);
  key->keyBits = keyBits;
  std::memset(key->keyText, 0, sizeof key->keyText);
  if (text != nullptr) {
    size_t length = std::strlen(text);
    size_t limit = static_cast<size_t>(keyBits / 4);
    std::memcpy(key->keyText, text, length < limit ? length : limit);
  }
  if (keyBits != 256) {
    std::memset(key->roundKeys, 0, sizeof key->roundKeys);
    std::memset(key->roundKeyBytes, 0, sizeof key->roundKeyBytes);
    return 1;
  }
  uint8_t packed[kKeySize];
  packKeyText(key->keyText, packed);
  expandAesKey(*key, direction, packed);
  return 1;
}

}  // namespace extractor
