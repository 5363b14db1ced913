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

// The sequences' reader of the backward stream. It counts the bits left
// at the low end of its word rather than those taken from the top: a field
// is then the word shifted right by that count and masked, one shift
// instead of two, with the count's update feeding the shift.
struct SequenceBits {
  const uint8_t* start;
  const uint8_t* fastStart;  // from here on a reload needs no checks
  const uint8_t* ptr;
  uint64_t word;
  unsigned left;  // wraps around below 0 once the stream is overrun

  static constexpr uint32_t kMask[32] = {
      0,        1,         3,         7,         0xF,       0x1F,       0x3F,       0x7F,
      0xFF,     0x1FF,     0x3FF,     0x7FF,     0xFFF,     0x1FFF,     0x3FFF,     0x7FFF,
      0xFFFF,   0x1FFFF,   0x3FFFF,   0x7FFFF,   0xFFFFF,   0x1FFFFF,   0x3FFFFF,   0x7FFFFF,
      0xFFFFFF, 0x1FFFFFF, 0x3FFFFFF, 0x7FFFFFF, 0xFFFFFFF, 0x1FFFFFFF, 0x3FFFFFFF, 0x7FFFFFFF};

  // Takes over from `b`, started on a stream of `size` bytes.
  SequenceBits(const BackBits& b, size_t size)
      : start(b.start),
        fastStart(b.start + std::min<size_t>(size, 8)),
        ptr(b.ptr),
        word(b.word),
        left(64 - b.used) {}

  // n <= 31 bits; the caller keeps them within what a reload leaves.
  uint32_t read(unsigned n) {
    left -= n;
    return static_cast<uint32_t>(word >> (left & 63)) & kMask[n];
  }

  // At least 57 bits left after, or as many as the stream has.
  void reload() {
    const unsigned used = 64 - left;  // above 64 once overrun
    size_t back = used >> 3;
    if (ptr < fastStart) {
      if (ptr == start || used > 64) return;
      back = std::min(back, static_cast<size_t>(ptr - start));
    }
    ptr -= back;
    left += static_cast<unsigned>(back) * 8;
    word = load64(ptr);
  }

  // Every bit taken, none invented.
  bool exhausted() const { return ptr == start && left == 0; }
};

}  // namespace

DecodeStatus BlockDecoder::decodeSequences(const uint8_t* p, const uint8_t* end, uint32_t count,
                                           BlockOutput& to) {
  const uint8_t* lit = literals_;
  const uint8_t* const litEnd = literals_ + literalCount_;
  uint8_t* op = to.out;
  if (count > 0) {
    uint8_t* const limit = to.limit;
    const uint8_t* const history = to.history;
    BackBits first;
    if (!first.init(p, static_cast<size_t>(end - p))) return DecodeStatus::kDamaged;
    unsigned ll = static_cast<unsigned>(first.read(tables_[kLiteralLengths].log));
    unsigned of = static_cast<unsigned>(first.read(tables_[kOffsets].log));
    unsigned ml = static_cast<unsigned>(first.read(tables_[kMatchLengths].log));
    SequenceBits bits(first, static_cast<size_t>(end - p));
    uint32_t r0 = recent_[0], r1 = recent_[1], r2 = recent_[2];  // latest first
    for (;;) {
      bits.reload();
      const SeqCell& o = tables_[kOffsets].cells[of];
      const SeqCell& m = tables_[kMatchLengths].cells[ml];
      const SeqCell& l = tables_[kLiteralLengths].cells[ll];
      // A reload leaves 57 bits or more: the offset, match and literal
      // length extras take up to 63, the three state updates 26.
      uint32_t offset = o.value + bits.read(o.extraBits);
      const uint32_t matchLength = m.value + bits.read(m.extraBits);
      if (o.extraBits + m.extraBits + l.extraBits > 31) bits.reload();
      const uint32_t literalLength = l.value + bits.read(l.extraBits);
      // The states move on before the copies, which then need no cell.
      const bool last = --count == 0;
      if (!last) {
        ll = l.base + bits.read(l.bits);
        ml = m.base + bits.read(m.bits);
        of = o.base + bits.read(o.bits);
      }
      if (offset > 3) {
        r2 = r1;
        r1 = r0;
        r0 = offset -= 3;
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
      // Lengths run to 2^17 and more: none of these sums wraps.
      if (literalLength > static_cast<size_t>(litEnd - lit) ||
          literalLength + matchLength > static_cast<size_t>(limit - op)) {
        return DecodeStatus::kDamaged;
      }
      // Most literal runs fit two pieces: the branch past them is rarely
      // taken, so rarely guessed wrong.
      copy16(op, lit);
      copy16(op + 16, lit + 16);
      if (literalLength > 32) wideCopy(op + 32, lit + 32, literalLength - 32);
      op += literalLength;
      lit += literalLength;
      // An offset of 0 (from the first recent one less one) wraps to fail.
      if (size_t{offset} - 1 >= static_cast<size_t>(op - history)) {
        // Reaching before the frame's start needs a dictionary.
        return offset != 0 && to.historyIsFrameStart ? DecodeStatus::kUnsupported
                                                     : DecodeStatus::kDamaged;
      }
      copyMatch(op, offset, matchLength);
      op += matchLength;
      if (last) break;
    }
    recent_[0] = r0, recent_[1] = r1, recent_[2] = r2;
    bits.reload();
    if (!bits.exhausted()) return DecodeStatus::kDamaged;
  }
  const size_t rest = static_cast<size_t>(litEnd - lit);
  if (rest > static_cast<size_t>(to.limit - op)) return DecodeStatus::kDamaged;
  std::memcpy(op, lit, rest);
  to.out = op + rest;
  return DecodeStatus::kDone;
}

}  // namespace extractor::zstd
