// Decoding the sequences and carrying them out as they come: a run of
// literals, then a match from the history, copied in wide pieces where the
// slack past the output's limit allows.
#include <cstring>

#include "zstd/back_bits.h"
#include "zstd/block.h"

namespace extractor::zstd {
namespace {

inline void copy16(uint8_t* to, const uint8_t* from) {
  std::memcpy(to, from, 16);
}
inline void copy8(uint8_t* to, const uint8_t* from) {
  std::memcpy(to, from, 8);
}

// Copies in 16-byte pieces; may write up to 15 bytes past to + size.
inline void wideCopy(uint8_t* to, const uint8_t* from, size_t size) {
  uint8_t* const end = to + size;
  do {
    copy16(to, from);
    to += 16;
    from += 16;
  } while (to < end);
}

// Copies `size` bytes from `distance` back; may write up to 15 bytes past
// the end. A distance below 8 overlaps within a word: its pattern is laid
// out byte by byte, then copied from the nearest multiple of the distance
// that is 8 or more.
inline void copyMatch(uint8_t* to, size_t distance, size_t size) {
  uint8_t* const end = to + size;
  const uint8_t* from = to - distance;
  if (distance >= 16) {
    wideCopy(to, from, size);
  } else if (distance >= 8) {
    do {
      copy8(to, from);
      to += 8;
      from += 8;
    } while (to < end);
  } else {
    static constexpr uint8_t kStride[8] = {0, 8, 8, 9, 8, 10, 12, 14};
    for (int i = 0; i < 8; ++i) to[i] = from[i];
    from = to + 8 - kStride[distance];
    for (to += 8; to < end; to += 8, from += 8) copy8(to, from);
  }
}

}  // namespace

DecodeStatus BlockDecoder::decodeSequences(const uint8_t* p, const uint8_t* end, uint32_t count,
                                           BlockOutput& to) {
  const uint8_t* lit = literals_;
  const uint8_t* const litEnd = literals_ + literalCount_;
  uint8_t* op = to.out;
  uint8_t* const limit = to.limit;
  if (count > 0) {
    BackBits bits;
    if (!bits.init(p, static_cast<size_t>(end - p))) return DecodeStatus::kDamaged;
    const SeqCell* const llCells = tables_[kLiteralLengths].cells;
    const SeqCell* const ofCells = tables_[kOffsets].cells;
    const SeqCell* const mlCells = tables_[kMatchLengths].cells;
    unsigned ll = static_cast<unsigned>(bits.read(tables_[kLiteralLengths].log));
    unsigned of = static_cast<unsigned>(bits.read(tables_[kOffsets].log));
    unsigned ml = static_cast<unsigned>(bits.read(tables_[kMatchLengths].log));
    uint32_t r0 = recent_[0], r1 = recent_[1], r2 = recent_[2];
    for (;;) {
      bits.reload();
      const SeqCell l = llCells[ll];
      const SeqCell o = ofCells[of];
      const SeqCell m = mlCells[ml];
      // A reload leaves 57 bits or more: offset, match and literal length
      // extras take up to 63, the three state updates 26.
      uint32_t offset = o.value + static_cast<uint32_t>(bits.read(o.extraBits));
      const size_t matchLength = m.value + bits.read(m.extraBits);
      if (o.extraBits + m.extraBits + l.extraBits > 31) bits.reload();
      const size_t literalLength = l.value + bits.read(l.extraBits);
      if (offset > 3) {
        offset -= 3;
        r2 = r1;
        r1 = r0;
        r0 = offset;
      } else {
        // Recent offsets 1..3; after no literals, 2, 3 and the first less one.
        const unsigned index = offset - 1 + (literalLength == 0);
        if (index == 0) {
          offset = r0;
        } else {
          offset = index == 1 ? r1 : index == 2 ? r2 : r0 - 1;
          if (index > 1) r2 = r1;
          r1 = r0;
          r0 = offset;
        }
      }
      if (--count == 0) {
        // The last sequence's states are not updated.
      } else {
        ll = l.base + static_cast<unsigned>(bits.read(l.bits));
        ml = m.base + static_cast<unsigned>(bits.read(m.bits));
        of = o.base + static_cast<unsigned>(bits.read(o.bits));
      }
      if (literalLength > static_cast<size_t>(litEnd - lit) ||
          literalLength + matchLength > static_cast<size_t>(limit - op)) {
        return DecodeStatus::kDamaged;
      }
      wideCopy(op, lit, literalLength);
      op += literalLength;
      lit += literalLength;
      if (offset == 0 || offset > static_cast<size_t>(op - to.history)) {
        // Reaching before the frame's start needs a dictionary.
        return offset != 0 && to.historyIsFrameStart ? DecodeStatus::kUnsupported
                                                     : DecodeStatus::kDamaged;
      }
      copyMatch(op, offset, matchLength);
      op += matchLength;
      if (count == 0) break;
    }
    recent_[0] = r0, recent_[1] = r1, recent_[2] = r2;
    bits.reload();
    if (!bits.exhausted()) return DecodeStatus::kDamaged;
  }
  const size_t rest = static_cast<size_t>(litEnd - lit);
  if (rest > static_cast<size_t>(limit - op)) return DecodeStatus::kDamaged;
  std::memcpy(op, lit, rest);
  to.out = op + rest;
  return DecodeStatus::kDone;
}

}  // namespace extractor::zstd
