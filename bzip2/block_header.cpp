// The block header after its magic and CRC: the randomised bit, the origin
// of the sort, the bytes in use, the selectors and the group codes.
#include "bzip2/bzip2.h"

namespace extractor {

namespace {

constexpr unsigned kMaxSelectorsKept = 18002;

}  // namespace

Bzip2Decoder::Outcome Bzip2Decoder::readBlockHeader() {
  randomised_ = in_.take(1) != 0;
  origin_ = in_.take(24);

  // Sixteen ranges of sixteen byte values, then the values used in each.
  symbolsInUse_ = 0;
  const uint32_t ranges = in_.take(16);
  for (unsigned r = 0; r < 16; ++r) {
    if (!(ranges & (0x8000u >> r))) continue;
    const uint32_t used = in_.take(16);
    for (unsigned k = 0; k < 16; ++k) {
      if (used & (0x8000u >> k)) byteOfSymbol_[symbolsInUse_++] = static_cast<uint8_t>(r * 16 + k);
    }
  }
  if (in_.overrun) return Outcome::kDone;
  if (symbolsInUse_ == 0) return Outcome::kError;

  groupCount_ = in_.take(3);
  selectorCount_ = in_.take(15);
  if (groupCount_ < 2 || groupCount_ > 6 || selectorCount_ == 0) return Outcome::kError;

  // Each selector is a move-to-front index in unary. Writers pad the count
  // up; selectors past those that 900,000 symbols can use are read and
  // dropped.
  uint8_t order[6] = {0, 1, 2, 3, 4, 5};
  for (unsigned i = 0; i < selectorCount_; ++i) {
    unsigned j = 0;
    while (in_.take(1)) {
      if (++j >= groupCount_ || in_.overrun) return in_.overrun ? Outcome::kDone : Outcome::kError;
    }
    const uint8_t group = order[j];
    for (; j > 0; --j) order[j] = order[j - 1];
    order[0] = group;
    if (i < kMaxSelectorsKept) selectors_[i] = group;
  }
  if (selectorCount_ > kMaxSelectorsKept) selectorCount_ = kMaxSelectorsKept;

  // Code lengths: a 5-bit start, then per symbol steps of +1 (10) or -1
  // (11) ended by a 0 bit.
  const unsigned alphabetSize = symbolsInUse_ + 2;
  for (unsigned g = 0; g < groupCount_; ++g) {
    uint8_t lengths[bzip2::kMaxAlphabet];
    int length = static_cast<int>(in_.take(5));
    for (unsigned s = 0; s < alphabetSize; ++s) {
      for (;;) {
        if (length < 1 || length > static_cast<int>(bzip2::kMaxCodeLength)) {
          return in_.overrun ? Outcome::kDone : Outcome::kError;
        }
        if (!in_.take(1)) break;
        length += in_.take(1) ? -1 : 1;
      }
      lengths[s] = static_cast<uint8_t>(length);
    }
    if (in_.overrun) return Outcome::kDone;
    // A code no selector uses may be malformed; one that is used, may not.
    codeUsable_[g] = codes_[g].build(lengths, alphabetSize);
  }

  // Ready for the symbols.
  for (unsigned i = 0; i < 256; ++i) moveToFront_[i] = static_cast<uint8_t>(i);
  for (auto& c : byteCounts_) c = 0;
  groupLeft_ = 0;
  groupIndex_ = 0;
  run_ = 0;
  runShift_ = 0;
  blockSize_ = 0;
  return Outcome::kDone;
}

}  // namespace extractor
