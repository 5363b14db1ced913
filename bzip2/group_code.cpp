#include "bzip2/group_code.h"

#include <cstring>

namespace extractor::bzip2 {

bool GroupCode::build(const uint8_t* lengths, unsigned alphabetSize) {
  uint16_t counts[kMaxCodeLength + 1] = {};
  for (unsigned s = 0; s < alphabetSize; ++s) {
    if (lengths[s] < 1 || lengths[s] > kMaxCodeLength) return false;
    counts[lengths[s]]++;
  }
  uint32_t code = 0;
  uint16_t index = 0;
  uint16_t next[kMaxCodeLength + 1];
  for (unsigned len = 1; len <= kMaxCodeLength; ++len) {
    firstCode_[len] = code;
    countOf_[len] = counts[len];
    firstIndex_[len] = index;
    next[len] = index;
    code += counts[len];
    index = static_cast<uint16_t>(index + counts[len]);
    if (code > (1u << len)) return false;
    code <<= 1;
  }
  for (unsigned s = 0; s < alphabetSize; ++s)
    sorted_[next[lengths[s]]++] = static_cast<uint16_t>(s);

  std::memset(fast_, 0, sizeof fast_);
  for (unsigned len = 1; len <= kFastBits; ++len) {
    const unsigned span = 1u << (kFastBits - len);
    for (unsigned k = 0; k < countOf_[len]; ++k) {
      const uint16_t symbol = sorted_[firstIndex_[len] + k];
      const uint16_t entry = static_cast<uint16_t>(symbol << 5 | len);
      uint16_t* slot = fast_ + ((firstCode_[len] + k) << (kFastBits - len));
      for (unsigned i = 0; i < span; ++i) slot[i] = entry;
    }
  }
  return true;
}

uint32_t GroupCode::decodeLong(uint64_t bits, unsigned& length) const {
  for (unsigned len = kFastBits + 1; len <= kMaxCodeLength; ++len) {
    const uint32_t offset = static_cast<uint32_t>(bits >> (64 - len)) - firstCode_[len];
    if (offset < countOf_[len]) {
      length = len;
      return sorted_[firstIndex_[len] + offset];
    }
  }
  length = 0;
  return 0;
}

}  // namespace extractor::bzip2
