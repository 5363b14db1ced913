#include "zstd/xxhash64.h"

#include <cstring>

#include "zstd/bytes.h"

namespace extractor::zstd {
namespace {

constexpr uint64_t kPrime1 = 0x9E3779B185EBCA87ull;
constexpr uint64_t kPrime2 = 0xC2B2AE3D27D4EB4Full;
constexpr uint64_t kPrime3 = 0x165667B19E3779F9ull;
constexpr uint64_t kPrime4 = 0x85EBCA77C2B2AE63ull;
constexpr uint64_t kPrime5 = 0x27D4EB2F165667C5ull;

uint64_t rotl(uint64_t x, unsigned r) {
  return x << r | x >> (64 - r);
}

uint64_t round(uint64_t acc, uint64_t lane) {
  return rotl(acc + lane * kPrime2, 31) * kPrime1;
}

uint64_t merge(uint64_t hash, uint64_t acc) {
  return (hash ^ round(0, acc)) * kPrime1 + kPrime4;
}

}  // namespace

void Xxhash64::reset() {
  acc_[0] = kPrime1 + kPrime2;
  acc_[1] = kPrime2;
  acc_[2] = 0;
  acc_[3] = 0 - kPrime1;
  pendingSize_ = 0;
  total_ = 0;
}

namespace {

// Rounds over `size` bytes of whole 32-byte stripes; with kCopy each
// stripe is also stored at `to`, while the hash waits on its multiplies.
template <bool kCopy>
void stripes(uint64_t (&acc)[4], const uint8_t* data, size_t size, uint8_t* to) {
  uint64_t a0 = acc[0], a1 = acc[1], a2 = acc[2], a3 = acc[3];
  for (const uint8_t* const end = data + size; data != end; data += 32, to += 32) {
    a0 = round(a0, load64(data));
    a1 = round(a1, load64(data + 8));
    a2 = round(a2, load64(data + 16));
    a3 = round(a3, load64(data + 24));
    if (kCopy) std::memcpy(to, data, 32);
  }
  acc[0] = a0, acc[1] = a1, acc[2] = a2, acc[3] = a3;
}

// Copies n bytes where a copy is wanted, and moves past them.
void copyOut(uint8_t*& to, const uint8_t* from, size_t n) {
  if (to) {
    std::memcpy(to, from, n);
    to += n;
  }
}

}  // namespace

void Xxhash64::update(const uint8_t* data, size_t size, uint8_t* copy) {
  total_ += size;
  if (pendingSize_ + size < 32) {
    if (size) {
      std::memcpy(pending_ + pendingSize_, data, size);
      copyOut(copy, data, size);
    }
    pendingSize_ += static_cast<unsigned>(size);
    return;
  }
  if (pendingSize_) {
    const unsigned fill = 32 - pendingSize_;
    std::memcpy(pending_ + pendingSize_, data, fill);
    copyOut(copy, data, fill);
    for (int i = 0; i < 4; ++i) acc_[i] = round(acc_[i], load64(pending_ + 8 * i));
    data += fill;
    size -= fill;
    pendingSize_ = 0;
  }
  const size_t whole = size & ~size_t{31};
  if (copy) {
    stripes<true>(acc_, data, whole, copy);
    copy += whole;
  } else {
    stripes<false>(acc_, data, whole, nullptr);
  }
  data += whole;
  size -= whole;
  if (size) {
    std::memcpy(pending_, data, size);
    copyOut(copy, data, size);
  }
  pendingSize_ = static_cast<unsigned>(size);
}

uint64_t Xxhash64::digest() const {
  uint64_t h;
  if (total_ >= 32) {
    h = rotl(acc_[0], 1) + rotl(acc_[1], 7) + rotl(acc_[2], 12) + rotl(acc_[3], 18);
    for (uint64_t a : acc_) h = merge(h, a);
  } else {
    h = kPrime5;
  }
  h += total_;
  const uint8_t* p = pending_;
  unsigned left = pendingSize_;
  for (; left >= 8; p += 8, left -= 8) h = rotl(h ^ round(0, load64(p)), 27) * kPrime1 + kPrime4;
  if (left >= 4) {
    h = rotl(h ^ uint64_t{load32(p)} * kPrime1, 23) * kPrime2 + kPrime3;
    p += 4;
    left -= 4;
  }
  for (; left > 0; ++p, --left) h = rotl(h ^ *p * kPrime5, 11) * kPrime1;
  h ^= h >> 33;
  h *= kPrime2;
  h ^= h >> 29;
  h *= kPrime3;
  return h ^ (h >> 32);
}

}  // namespace extractor::zstd
