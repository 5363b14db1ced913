// Decoding the sequences and carrying them out as they come: a run of
// literals, then a match from the history, copied in wide pieces where the
// slack past the output's limit allows.
#include <algorithm>
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

// From this size on, the library's copy beats 16-byte pieces.
constexpr size_t kLongCopy = 256;

// Copies to[done..size) from `distance` back, where distance is a multiple
// of the match's offset of 16 or more and at most done + offset. The
// distance doubles with each piece (the data repeat with every multiple of
// the offset), so that the loads read bytes stored well before rather than
// ones still on their way to memory.
inline void copyRepeating(uint8_t* to, size_t done, size_t size, size_t distance) {
  while (done < size) {
    const size_t piece = std::min(distance, size - done);
    if (piece >= kLongCopy) {
      std::memcpy(to + done, to + done - distance, piece);  // apart: piece <= distance
    } else {
      wideCopy(to + done, to + done - distance, piece);
    }
    done += piece;
    distance *= 2;
  }
}

// Copies `size` bytes from `distance` back; may write up to 31 bytes past
// the end. Below 16 bytes of distance the pieces would overlap what they
// copy: the pattern is laid out over 16 bytes first, then copied from the
// nearest multiple of the distance that is 16 or more.
inline void copyMatch(uint8_t* to, size_t distance, size_t size) {
  const uint8_t* from = to - distance;
  if (distance >= 16) {
    // Most matches are short: two pieces without a loop.
    copy16(to, from);
    copy16(to + 16, from + 16);
    if (size <= 32) return;
    if (distance < size) {
      copyRepeating(to, 32, size, distance);
    } else if (size >= kLongCopy) {
      std::memcpy(to + 32, from + 32, size - 32);
    } else {
      wideCopy(to + 32, from + 32, size - 32);
    }
    return;
  }
  static constexpr uint8_t kStride8[8] = {0, 8, 8, 9, 8, 10, 12, 14};
  static constexpr uint8_t kStride16[16] = {0,  16, 16, 18, 16, 20, 18, 21,
                                            16, 18, 20, 22, 24, 26, 28, 30};
  if (distance >= 8) {
    copy8(to, from);
  } else {
    for (int i = 0; i < 8; ++i) to[i] = from[i];
  }
  copy8(to + 8, to + 8 - (distance >= 8 ? distance : kStride8[distance]));
  if (size > 16) copyRepeating(to, 16, size, kStride16[distance]);
}

struct Sequence {
  uint32_t literalLength;
  uint32_t matchLength;
  uint32_t offset;
};

// The three FSE states over the backward stream, and the recent offsets.
struct SequenceReader {
  BackBits bits;
  const SeqCell* llCells;
  const SeqCell* ofCells;
  const SeqCell* mlCells;
  unsigned ll, of, ml;
  uint32_t r0, r1, r2;  // the recent offsets, latest first

  // Reads sequence `left` from the end; the last updates no states.
  Sequence next(uint32_t left) {
    bits.reload();
    const SeqCell l = llCells[ll];
    const SeqCell o = ofCells[of];
    const SeqCell m = mlCells[ml];
    // A reload leaves 57 bits or more: offset, match and literal length
    // extras take up to 63, the three state updates 26.
    Sequence s;
    uint32_t offset = o.value + static_cast<uint32_t>(bits.read(o.extraBits));
    s.matchLength = m.value + static_cast<uint32_t>(bits.read(m.extraBits));
    if (o.extraBits + m.extraBits + l.extraBits > 31) bits.reload();
    s.literalLength = l.value + static_cast<uint32_t>(bits.read(l.extraBits));
    if (offset > 3) {
      offset -= 3;
      r2 = r1;
      r1 = r0;
      r0 = offset;
    } else {
      // Recent offsets 1..3; after no literals, 2, 3 and the first less one.
      const unsigned index = offset - 1 + (s.literalLength == 0);
      if (index == 0) {
        offset = r0;
      } else {
        offset = index == 1 ? r1 : index == 2 ? r2 : r0 - 1;
        if (index > 1) r2 = r1;
        r1 = r0;
        r0 = offset;
      }
    }
    s.offset = offset;
    if (left > 1) {
      ll = l.base + static_cast<unsigned>(bits.read(l.bits));
      ml = m.base + static_cast<unsigned>(bits.read(m.bits));
      of = o.base + static_cast<unsigned>(bits.read(o.bits));
    }
    return s;
  }
};

}  // namespace

DecodeStatus BlockDecoder::decodeSequences(const uint8_t* p, const uint8_t* end, uint32_t count,
                                           BlockOutput& to) {
  const uint8_t* lit = literals_;
  const uint8_t* const litEnd = literals_ + literalCount_;
  uint8_t* op = to.out;
  uint8_t* const limit = to.limit;
  const uint8_t* const history = to.history;
  if (count > 0) {
    SequenceReader r;
    if (!r.bits.init(p, static_cast<size_t>(end - p))) return DecodeStatus::kDamaged;
    r.llCells = tables_[kLiteralLengths].cells;
    r.ofCells = tables_[kOffsets].cells;
    r.mlCells = tables_[kMatchLengths].cells;
    r.ll = static_cast<unsigned>(r.bits.read(tables_[kLiteralLengths].log));
    r.of = static_cast<unsigned>(r.bits.read(tables_[kOffsets].log));
    r.ml = static_cast<unsigned>(r.bits.read(tables_[kMatchLengths].log));
    r.r0 = recent_[0], r.r1 = recent_[1], r.r2 = recent_[2];
    for (; count > 0; --count) {
      const Sequence sq = r.next(count);
      if (sq.literalLength > static_cast<size_t>(litEnd - lit) ||
          size_t{sq.literalLength} + sq.matchLength > static_cast<size_t>(limit - op)) {
        return DecodeStatus::kDamaged;
      }
      wideCopy(op, lit, sq.literalLength);
      op += sq.literalLength;
      lit += sq.literalLength;
      if (sq.offset == 0 || sq.offset > static_cast<size_t>(op - history)) {
        // Reaching before the frame's start needs a dictionary.
        return sq.offset != 0 && to.historyIsFrameStart ? DecodeStatus::kUnsupported
                                                        : DecodeStatus::kDamaged;
      }
      copyMatch(op, sq.offset, sq.matchLength);
      op += sq.matchLength;
    }
    recent_[0] = r.r0, recent_[1] = r.r1, recent_[2] = r.r2;
    r.bits.reload();
    if (!r.bits.exhausted()) return DecodeStatus::kDamaged;
  }
  const size_t rest = static_cast<size_t>(litEnd - lit);
  if (rest > static_cast<size_t>(limit - op)) return DecodeStatus::kDamaged;
  std::memcpy(op, lit, rest);
  to.out = op + rest;
  return DecodeStatus::kDone;
}

}  // namespace extractor::zstd
