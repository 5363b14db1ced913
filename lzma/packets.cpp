// The hot loop: literals, matches and repeated matches until the
// dictionary reaches its limit or the input its margin.
#include <cstring>

#include "lzma/lzma.h"
#include "lzma/model.h"

namespace extractor {

using lzma::LengthModel;
using lzma::Probability;
using lzma::RangeDecoder;

namespace {

unsigned decodeLength(RangeDecoder& rc, LengthModel& m, unsigned posState) {
  if (!rc.bit(m.choice)) return rc.tree(m.low[posState], 3);
  if (!rc.bit(m.choice2)) return 8 + rc.tree(m.mid[posState], 3);
  return 16 + rc.tree(m.high, 8);
}

uint32_t decodeDistance(RangeDecoder& rc, lzma::ModelTables& m, unsigned length) {
  const unsigned lengthState = length < lzma::kLengthStates - 1 ? length : lzma::kLengthStates - 1;
  const unsigned slot = rc.tree(m.distanceSlot[lengthState], 6);
  if (slot < 4) return slot;
  const unsigned directBits = (slot >> 1) - 1;
  uint32_t distance = (2 | (slot & 1)) << directBits;
  if (slot < lzma::kFirstDirectSlot) {
    return distance + rc.reverseTree(m.special + distance - slot, directBits);
  }
  distance += rc.direct(directBits - 4) << 4;
  return distance + rc.reverseTree(m.align, 4);
}

}  // namespace

LzmaDecoder::Outcome LzmaDecoder::decode(RangeDecoder& coder, const uint8_t* inLimit,
                                         uint32_t dictLimit) {
  // A copy the compiler can keep in registers: the dictionary's byte
  // stores could otherwise reach the caller's.
  RangeDecoder rc = coder;
  lzma::ModelTables& m = model_->tables;
  Probability* const literals = model_->literals.get();
  uint8_t* const dict = dict_.get();
  const uint32_t dictSize = dictSize_;
  const uint32_t posMask = (1u << pb_) - 1;
  const uint32_t literalPosMask = (1u << lp_) - 1;
  const unsigned lc = lc_;
  uint32_t pos = dictPos_;
  const uint32_t start = pos;
  const bool full = dictFull_;
  // Bytes decoded before pos, less pos: their low bits select the
  // probabilities by position.
  const uint32_t totalLessPos = static_cast<uint32_t>(produced_) - pos;
  unsigned state = state_;
  uint32_t rep0 = rep_[0], rep1 = rep_[1], rep2 = rep_[2], rep3 = rep_[3];
  Outcome outcome = Outcome::kDone;
  unsigned previous = pos != 0 ? dict[pos - 1] : full ? dict[dictSize - 1] : 0;

  while (pos < dictLimit && rc.in <= inLimit) {
    const uint32_t total = pos + totalLessPos;
    const unsigned posState = total & posMask;
    if (!rc.bit(m.isMatch[state << 4 | posState])) {
      Probability* probs = literals + lzma::kLiteralCoderSize * (((total & literalPosMask) << lc) +
                                                                 (previous >> (8 - lc)));
      unsigned symbol = 1;
      if (state < 7) {
        symbol = rc.tree(probs, 8);
      } else {
        // After a match the byte at rep0 predicts the literal bit by bit:
        // its bits select the probabilities (0x100 + bit * 0x100) until the
        // first bit that differs, and the plain ones (offset 0) after it.
        uint32_t src = pos - rep0 - 1;
        if (pos <= rep0) src += dictSize;
        unsigned matchByte = dict[src];
        unsigned offset = 0x100;
#pragma GCC unroll 8
        for (int i = 0; i < 8; ++i) {
          matchByte <<= 1;
          const unsigned matchBit = matchByte & offset;
          const unsigned bit = rc.bit(probs[offset + matchBit + symbol]);
          symbol = symbol << 1 | bit;
          // A differing bit clears offset for good.
          offset &= bit ? matchBit : ~matchBit;
        }
      }
      previous = symbol & 0xFF;
      dict[pos++] = static_cast<uint8_t>(previous);
      state = state < 4 ? 0 : state < 10 ? state - 3 : state - 6;
      continue;
    }

    // One call of each decoder below: inlined, they keep the range decoder
    // in registers.
    const bool isRep = rc.bit(m.isRep[state]);
    if (isRep) {
      if (pos == 0 && !full) {
        outcome = Outcome::kError;
        break;
      }
      if (!rc.bit(m.isRepG0[state])) {
        if (!rc.bit(m.isRep0Long[state << 4 | posState])) {
          // One byte from rep0.
          uint32_t src = pos - rep0 - 1;
          if (pos <= rep0) src += dictSize;
          previous = dict[src];
          dict[pos++] = static_cast<uint8_t>(previous);
          state = state < 7 ? 9 : 11;
          continue;
        }
      } else {
        uint32_t distance;
        if (!rc.bit(m.isRepG1[state])) {
          distance = rep1;
        } else {
          if (!rc.bit(m.isRepG2[state])) {
            distance = rep2;
          } else {
            distance = rep3;
            rep3 = rep2;
          }
          rep2 = rep1;
        }
        rep1 = rep0;
        rep0 = distance;
      }
      state = state < 7 ? 8 : 11;
    } else {
      rep3 = rep2;
      rep2 = rep1;
      rep1 = rep0;
    }
    const unsigned length = decodeLength(rc, isRep ? m.repLength : m.matchLength, posState);
    if (!isRep) {
      state = state < 7 ? 7 : 10;
      rep0 = decodeDistance(rc, m, length);
      if (rep0 == lzma::kEndMarkerDistance) {
        finished_ = true;
        break;
      }
      if (rep0 >= (full ? dictSize : pos)) {
        outcome = Outcome::kError;
        break;
      }
    }

    // The match, as far as the limit allows; the rest waits in matchLeft_.
    uint32_t left = length + lzma::kMinMatch;
    const uint32_t n = left < dictLimit - pos ? left : dictLimit - pos;
    uint32_t src = pos - rep0 - 1;
    if (pos <= rep0) src += dictSize;
    uint8_t* const to = dict + pos;
    const uint8_t* const from = dict + src;
    if (!full && rep0 >= 7) {
      // Before the first wrap nothing past pos is history yet, and the
      // dictionary has kCopySlack bytes behind its end: whole words of
      // eight, the last running past the match.
      for (uint32_t i = 0; i < n; i += 8) std::memcpy(to + i, from + i, 8);
    } else if (src < pos && pos - src >= 8 && n >= 8) {
      // Eight bytes at a time, each from bytes already final; the last
      // eight end exactly at the match's end.
      uint32_t i = 0;
      for (; i + 8 <= n; i += 8) std::memcpy(to + i, from + i, 8);
      if (i < n) std::memcpy(to + n - 8, from + n - 8, 8);
    } else if (src + 1 == pos) {
      std::memset(to, *from, n);
    } else if (src < pos) {
      for (uint32_t i = 0; i < n; ++i) to[i] = from[i];
    } else {
      for (uint32_t i = 0; i < n; ++i) {
        to[i] = dict[src++];
        if (src == dictSize) src = 0;
      }
    }
    pos += n;
    matchLeft_ = left - n;
    previous = dict[pos - 1];
  }

  coder = rc;
  dictPos_ = pos;
  produced_ += pos - start;
  state_ = state;
  rep_[0] = rep0;
  rep_[1] = rep1;
  rep_[2] = rep2;
  rep_[3] = rep3;
  return outcome;
}

}  // namespace extractor
