// Decoding one symbol: in the current context, or after escapes in ever
// shorter suffix contexts that exclude the symbols already ruled out; then
// the frequency updates that follow each case.
#include <cstring>

#include "ppmd/model.h"

namespace extractor::ppmd {

namespace {

constexpr unsigned kMaxFreq = 124;
constexpr unsigned kIntBits = 7;
constexpr unsigned kPeriodBits = 7;
constexpr unsigned kTotalBits = kIntBits + kPeriodBits;
constexpr uint32_t kBinScale = 1 << kTotalBits;
constexpr uint8_t kExpEscape[16] = {25, 14, 9, 7, 5, 5, 4, 4, 4, 3, 3, 3, 2, 2, 2, 2};

unsigned binMean(unsigned prob) {
  return (prob + (1 << (kPeriodBits - 2))) >> kPeriodBits;
}

// Contexts are scattered over the memory: the next one likely needed is
// fetched while the range decoder divides.
void prefetch(const void* p) {
#if defined(__GNUC__)
  __builtin_prefetch(p);
#else
  (void)p;
#endif
}

void updateSee(See* see) {
  if (see->shift < kPeriodBits && --see->count == 0) {
    see->summ = static_cast<uint16_t>(see->summ << 1);
    see->count = static_cast<uint8_t>(3 << see->shift++);
  }
}

}  // namespace

uint16_t* Model::binSummFor(Context* c) {
  const Context* up = suffix(c);
  // The masks change nothing for the frequencies and flags a model holds;
  // they keep any others in the table.
  const uint8_t row = ns2Index_[static_cast<uint8_t>(c->oneState()->freq - 1)];
  const unsigned column =
      (ns2BinIndex_[up->numStats] + prevSuccess_ + c->flags + ((runLength_ >> 26) & 0x20)) & 63;
  return &binSumm_[row][column];
}

See* Model::makeEscFreq(unsigned numMasked, uint32_t& escFreq) {
  Context* mc = minContext_;
  if (mc->numStats == 0xFF) {
    escFreq = 1;
    return &dummySee_;
  }
  const unsigned ns = mc->numStats;
  See* see = see_[ns2Index_[ns + 2] - 3] + (mc->summFreq > 11 * (ns + 1)) +
             2 * (2 * ns < suffix(mc)->numStats + numMasked) + mc->flags;
  const unsigned r = see->summ >> see->shift;
  see->summ = static_cast<uint16_t>(see->summ - r);
  escFreq = r + (r == 0);
  return see;
}

int Model::decodeSymbol(RangeDecoder& rc) {
  uint8_t mask[256];  // 0 for symbols ruled out
  Context* mc = minContext_;
  prefetch(suffix(mc));  // read by most updates and every escape
  if (mc->numStats != 0) {
    State* s = stats(mc);
    prefetch(mem_.at(s->successor()));  // the likeliest symbol's context
    const uint32_t total = mc->summFreq;
    uint32_t count;
    if (!rc.threshold(total, count)) return kError;
    uint32_t hiCnt = s->freq;
    if (count < hiCnt) {
      rc.decode(0, s->freq);
      foundState_ = s;
      const uint8_t symbol = s->symbol;
      update1First();
      return symbol;
    }
    prevSuccess_ = 0;
    unsigned i = mc->numStats;
    do {
      if ((hiCnt += (++s)->freq) > count) {
        rc.decode(hiCnt - s->freq, s->freq);
        foundState_ = s;
        const uint8_t symbol = s->symbol;
        update1();
        return symbol;
      }
    } while (--i);
    if (count >= total) return kError;
    prefetch(stats(suffix(mc)));
    rc.decode(hiCnt, total - hiCnt);
    std::memset(mask, 0xFF, sizeof(mask));
    State* first = stats(mc);
    for (; s >= first; --s) mask[s->symbol] = 0;
  } else {
    prefetch(mem_.at(mc->oneState()->successor()));
    uint16_t* prob = binSummFor(mc);
    if (rc.thresholdBits(kTotalBits) < *prob) {
      rc.decode(0, *prob);
      *prob = static_cast<uint16_t>(*prob + (1 << kIntBits) - binMean(*prob));
      foundState_ = mc->oneState();
      const uint8_t symbol = foundState_->symbol;
      updateBin();
      return symbol;
    }
    prefetch(stats(suffix(mc)));
    rc.decode(*prob, kBinScale - *prob);
    *prob = static_cast<uint16_t>(*prob - binMean(*prob));
    initEsc_ = kExpEscape[*prob >> 10];
    std::memset(mask, 0xFF, sizeof(mask));
    mask[mc->oneState()->symbol] = 0;
    prevSuccess_ = 0;
  }
  return decodeMasked(rc, mask);
}

// After an escape: the next suffix context with more symbols, counting
// only those not yet ruled out (mask 0xFF for the others).
int Model::decodeMasked(RangeDecoder& rc, uint8_t* mask) {
  for (;;) {
    Context* mc = minContext_;
    const unsigned numMasked = mc->numStats;
    do {
      orderFall_++;
      if (!mc->suffix) return kEndMark;
      mc = suffix(mc);
    } while (mc->numStats == numMasked);
    minContext_ = mc;
    prefetch(suffix(mc));

    State* const first = stats(mc);
    State* const end = first + mc->numStats + 1;
    // Two states a turn, into two sums: the loads of one do not wait for
    // the other's.
    uint32_t hiCnt = (mc->numStats & 1) ? 0 : first->freq & mask[first->symbol];
    uint32_t hiCnt2 = 0;
    for (const State* s = first + !(mc->numStats & 1); s != end; s += 2) {
      hiCnt += s[0].freq & mask[s[0].symbol];
      hiCnt2 += s[1].freq & mask[s[1].symbol];
    }
    hiCnt += hiCnt2;

    uint32_t freqSum;
    See* see = makeEscFreq(numMasked, freqSum);
    freqSum += hiCnt;
    uint32_t count;
    if (!rc.threshold(freqSum, count)) return kError;
    if (count < hiCnt) {
      State* s = first;
      uint32_t low = 0;
      for (;; ++s) {
        const uint32_t freq = s->freq & mask[s->symbol];
        if (low + freq > count) break;
        low += freq;
      }
      prefetch(mem_.at(s->successor()));
      rc.decode(low, s->freq);
      updateSee(see);
      foundState_ = s;
      const uint8_t symbol = s->symbol;
      update2();
      return symbol;
    }
    if (count >= freqSum) return kError;
    rc.decode(hiCnt, freqSum - hiCnt);
    see->summ = static_cast<uint16_t>(see->summ + freqSum);
    for (const State* s = first; s != end; ++s) mask[s->symbol] = 0;
  }
}

void Model::nextContext() {
  const uint32_t successor = foundState_->successor();
  if (orderFall_ == 0 && successor > mem_.text) {
    minContext_ = maxContext_ = ctx(successor);
  } else {
    updateModel();
    minContext_ = maxContext_;
  }
}

// The first state of a context of several.
void Model::update1First() {
  Context* mc = minContext_;
  prevSuccess_ = 2 * foundState_->freq >= mc->summFreq;
  runLength_ += prevSuccess_;
  mc->summFreq += 4;
  if ((foundState_->freq += 4) > kMaxFreq) rescale();
  nextContext();
}

// Another state of a context of several: it moves up past a smaller one.
void Model::update1() {
  State* s = foundState_;
  s->freq += 4;
  minContext_->summFreq += 4;
  if (s[0].freq > s[-1].freq) {
    const State t = s[0];
    s[0] = s[-1];
    s[-1] = t;
    foundState_ = --s;
    if (s->freq > kMaxFreq) rescale();
  }
  nextContext();
}

void Model::updateBin() {
  foundState_->freq = static_cast<uint8_t>(foundState_->freq + (foundState_->freq < 196));
  prevSuccess_ = 1;
  runLength_++;
  nextContext();
}

// A symbol found after escapes.
void Model::update2() {
  minContext_->summFreq += 4;
  if ((foundState_->freq += 4) > kMaxFreq) rescale();
  runLength_ = initRunLength_;
  updateModel();
  minContext_ = maxContext_;
}

}  // namespace extractor::ppmd
