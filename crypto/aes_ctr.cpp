#include "crypto/aes_ctr.h"

#include <cstring>

#include "crypto/aes_paths.h"

namespace extractor {

static void counterBlock(uint64_t counter, uint8_t block[kAesBlockSize]) {
  for (int i = 0; i < 8; i++) block[i] = static_cast<uint8_t>(counter >> (8 * i));
  std::memset(block + 8, 0, 8);
}

void ctrXorTable(const AesKey& key, uint64_t counter, uint8_t* data, size_t blocks) {
  constexpr size_t kBatch = 16;
  uint8_t stream[kBatch * kAesBlockSize];
  while (blocks > 0) {
    size_t n = blocks < kBatch ? blocks : kBatch;
    for (size_t i = 0; i < n; i++) counterBlock(counter + i, stream + i * kAesBlockSize);
    encryptBlocksTable(key, stream, stream, n);
    for (size_t i = 0; i < n * kAesBlockSize; i++) data[i] ^= stream[i];
    counter += n;
    data += n * kAesBlockSize;
    blocks -= n;
  }
}

void ctrXor(const AesKey& key, uint64_t counter, uint8_t* data, size_t blocks) {
  using Path = void (*)(const AesKey&, uint64_t, uint8_t*, size_t);
  static const Path path = ctrVaesAvailable() ? ctrXorVaes
                           : aesNiAvailable() ? ctrXorAesNi
                                              : ctrXorTable;
  path(key, counter, data, blocks);
}

void AesCtr::setKey(const uint8_t* keyBytes, int keyBits) {
  makeAesEncryptionKey(key_, keyBytes, keyBits);
  counter_ = 1;
  used_ = kAesBlockSize;
}

void AesCtr::apply(uint8_t* data, size_t size) {
  // Finish the block a previous call started.
  while (used_ < kAesBlockSize && size > 0) {
    *data++ ^= keystream_[used_++];
    size--;
  }
  size_t blocks = size / kAesBlockSize;
  if (blocks > 0) {
    ctrXor(key_, counter_, data, blocks);
    counter_ += blocks;
    data += blocks * kAesBlockSize;
    size -= blocks * kAesBlockSize;
  }
  if (size > 0) {
    counterBlock(counter_++, keystream_);
    encryptBlocks(key_, keystream_, keystream_, 1);
    for (used_ = 0; used_ < size; used_++) data[used_] ^= keystream_[used_];
  }
}

}  // namespace extractor
