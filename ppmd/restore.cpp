// What the model does when its memory is full: take back the states just
// added, then either start afresh or cut the tree down to its shallow part
// until a quarter of the memory is free.
#include "ppmd/model.h"

namespace extractor::ppmd {

namespace {

uint8_t highSymbolFlag(uint8_t symbol) {
  return symbol >= 0x40 ? 0x08 : 0;
}

// Beyond this order a context left without successors goes.
constexpr unsigned kCutOffKeepOrder = 9;

}  // namespace

// Moves a context's states into fewer units and scales their frequencies
// down by 2^scale.
void Model::refresh(Context* c, unsigned oldUnits, unsigned scale) {
  unsigned i = c->numStats;
  c->stats = mem_.shrinkUnits(c->stats, oldUnits, (i + 2) >> 1);
  State* s = stats(c);
  unsigned flags = (c->flags & (0x10 + 0x04 * scale)) + highSymbolFlag(s->symbol);
  unsigned escFreq = c->summFreq - s->freq;
  s->freq = static_cast<uint8_t>((s->freq + scale) >> scale);
  unsigned sumFreq = s->freq;
  do {
    escFreq -= (++s)->freq;
    s->freq = static_cast<uint8_t>((s->freq + scale) >> scale);
    sumFreq += s->freq;
    flags |= highSymbolFlag(s->symbol);
  } while (--i);
  c->summFreq = static_cast<uint16_t>(sumFreq + ((escFreq + scale) >> scale));
  c->flags = static_cast<uint8_t>(flags);
}

// Drops the states whose successors point into the text (which is about
// to be reset) and, past kCutOffKeepOrder, contexts left with none; returns
// the context or 0 when it went.
uint32_t Model::cutOff(Context* c, unsigned order) {
  if (c->numStats == 0) {
    State* s = c->oneState();
    if (s->successor() >= mem_.unitsStart) {
      s->setSuccessor(order < maxOrder_ ? cutOff(ctx(s->successor()), order + 1) : 0);
      if (s->successor() || order <= kCutOffKeepOrder) return ref(c);
    }
    mem_.specialFreeUnit(ref(c));
    return 0;
  }

  const unsigned units = (c->numStats + 2u) >> 1;
  c->stats = mem_.moveUnitsUp(c->stats, units);
  int last = c->numStats;
  State* first = stats(c);
  for (State* s = first + last; s >= first; --s) {
    if (s->successor() < mem_.unitsStart) {
      State* end = first + last--;
      s->setSuccessor(0);
      const State t = *s;
      *s = *end;
      *end = t;
    } else {
      s->setSuccessor(order < maxOrder_ ? cutOff(ctx(s->successor()), order + 1) : 0);
    }
  }

  if (last != c->numStats && order != 0) {
    c->numStats = static_cast<uint8_t>(last);
    if (last < 0) {
      mem_.freeUnits(c->stats, units);
      mem_.specialFreeUnit(ref(c));
      return 0;
    }
    if (last == 0) {
      c->flags = static_cast<uint8_t>((c->flags & 0x10) + highSymbolFlag(first->symbol));
      const uint32_t block = c->stats;
      *c->oneState() = *first;
      mem_.freeUnits(block, units);
      c->oneState()->freq = static_cast<uint8_t>((c->oneState()->freq + 11u) >> 3);
    } else {
      refresh(c, units, c->summFreq > 16 * last);
    }
  }
  return ref(c);
}

// c1 is where adding the symbol stopped: the contexts above it got it and
// give it back; those from c1 down to the current context only saw their
// frequencies move.
void Model::restoreModel(Context* c1) {
  mem_.text = mem_.textStart;
  Context* c = maxContext_;
  for (; c != c1; c = suffix(c)) {
    if (--c->numStats == 0) {
      State* s = stats(c);
      c->flags = static_cast<uint8_t>((c->flags & 0x10) + highSymbolFlag(s->symbol));
      const uint32_t block = c->stats;
      *c->oneState() = *s;
      mem_.specialFreeUnit(block);
      c->oneState()->freq = static_cast<uint8_t>((c->oneState()->freq + 11u) >> 3);
    } else {
      refresh(c, (c->numStats + 3u) >> 1, 0);
    }
  }
  for (; c != minContext_; c = suffix(c)) {
    if (c->numStats == 0) {
      State* s = c->oneState();
      s->freq = static_cast<uint8_t>(s->freq - (s->freq >> 1));
    } else if ((c->summFreq += 4) > 128 + 4 * c->numStats) {
      refresh(c, (c->numStats + 2u) >> 1, 1);
    }
  }

  if (restoreMethod_ == kRestart || mem_.usedMemory() < (mem_.size() >> 1)) {
    restartModel();
    return;
  }
  while (maxContext_->suffix) maxContext_ = suffix(maxContext_);
  do {
    cutOff(maxContext_, 0);
    mem_.expandTextArea();
  } while (mem_.usedMemory() > 3 * (mem_.size() >> 2));
  mem_.resetGlueCount();
  orderFall_ = maxOrder_;
}

}  // namespace extractor::ppmd
