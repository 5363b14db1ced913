// Growing the context tree after a symbol: new states in the contexts that
// escaped, new contexts along the symbol's successor chain, rescaling of
// frequencies that grew too large.
#include "ppmd/model.h"

#include <cstring>

namespace extractor::ppmd {

namespace {

constexpr unsigned kMaxFreq = 124;
constexpr uint32_t kBinScale = 1 << 14;
constexpr unsigned kPeriodBits = 7;
constexpr uint16_t kInitBinEsc[8] = {0x3CDD, 0x1F3F, 0x59BF, 0x48F3,
                                     0x64A1, 0x5ABC, 0x6632, 0x6051};

void swapStates(State* a, State* b) {
  const State t = *a;
  *a = *b;
  *b = t;
}

uint8_t highSymbolFlag(uint8_t symbol) {
  return symbol >= 0x40 ? 0x08 : 0;
}

}  // namespace

Model::Model() {
  // Symbol counts (and binary frequencies) to table rows: one row each up
  // to 4, then rows covering 1, 2, 3, ... values.
  for (unsigned i = 0; i < 5; ++i) ns2Index_[i] = static_cast<uint8_t>(i);
  for (unsigned i = 5, m = 5, k = 1; i < 260; ++i) {
    ns2Index_[i] = static_cast<uint8_t>(m);
    if (--k == 0) k = ++m - 4;
  }
  ns2BinIndex_[0] = 0;
  ns2BinIndex_[1] = 2;
  std::memset(ns2BinIndex_ + 2, 4, 9);
  std::memset(ns2BinIndex_ + 11, 6, 256 - 11);
}

void Model::init(unsigned maxOrder, unsigned restoreMethod) {
  maxOrder_ = maxOrder;
  restoreMethod_ = restoreMethod;
  broken_ = false;
  restartModel();
  dummySee_.shift = kPeriodBits;
  dummySee_.summ = 0;
  dummySee_.count = 64;
}

void Model::restartModel() {
  mem_.restart();
  orderFall_ = maxOrder_;
  initRunLength_ = runLength_ = 0u - (maxOrder_ < 12 ? maxOrder_ : 12) - 1;
  prevSuccess_ = 0;

  // The root: all 256 symbols once, in the top unit; its states take the
  // first 128 units.
  mem_.hiUnit -= kUnitSize;
  Context* root = ctx(mem_.hiUnit);
  const uint32_t rootStats = mem_.loUnit;
  mem_.loUnit += 128 * kUnitSize;
  minContext_ = maxContext_ = root;
  root->suffix = 0;
  root->numStats = 255;
  root->flags = 0;
  root->summFreq = 257;
  root->stats = rootStats;
  State* s = stats(root);
  foundState_ = s;
  for (unsigned i = 0; i < 256; ++i) {
    s[i].symbol = static_cast<uint8_t>(i);
    s[i].freq = 1;
    s[i].setSuccessor(0);
  }

  for (unsigned m = 0, i = 0; m < 27; ++m) {
    while (ns2Index_[i] == m) ++i;
    for (unsigned k = 0; k < 8; ++k) {
      const uint16_t value = static_cast<uint16_t>(kBinScale - kInitBinEsc[k] / (i + 1));
      for (unsigned r = 0; r < 64; r += 8) binSumm_[m][k + r] = value;
    }
  }
  for (unsigned m = 0, i = 0; m < 24; ++m) {
    while (ns2Index_[i + 3] == m + 3) ++i;
    for (See& see : see_[m]) {
      see.shift = kPeriodBits - 4;
      see.summ = static_cast<uint16_t>((2 * i + 5) << see.shift);
      see.count = 7;
    }
  }
}

// A suffix context holds every symbol of the contexts below it; a search
// that finds none marks the model broken rather than leave the states.
State* Model::findState(Context* c, uint8_t symbol) {
  State* s = stats(c);
  for (State* last = s + c->numStats; s->symbol != symbol; ++s) {
    if (s == last) {
      broken_ = true;
      break;
    }
  }
  return s;
}

Context* Model::broken() {
  broken_ = true;
  return nullptr;
}

// Creates the contexts that continue the found state's chain: one per
// suffix context whose state for the symbol still points into the text.
Context* Model::createSuccessors(bool skip, State* s1, Context* c) {
  const uint32_t upBranch = foundState_->successor();
  State* ps[kMaxOrder + 1];
  unsigned count = 0;
  if (!skip) ps[count++] = foundState_;

  const uint8_t symbol = foundState_->symbol;
  while (c->suffix) {
    c = suffix(c);
    State* s;
    if (s1) {
      s = s1;
      s1 = nullptr;
    } else if (c->numStats != 0) {
      s = findState(c, symbol);
      if (s->freq < kMaxFreq - 9) {
        s->freq++;
        c->summFreq++;
      }
    } else {
      s = c->oneState();
      s->freq = static_cast<uint8_t>(s->freq + (!suffix(c)->numStats & (s->freq < 24)));
    }
    const uint32_t successor = s->successor();
    if (successor != upBranch) {
      c = ctx(successor);
      if (count == 0) return c;
      break;
    }
    if (count == kMaxOrder + 1) return nullptr;  // deeper than any order
    ps[count++] = s;
  }

  State up;
  up.symbol = *mem_.at(upBranch);
  up.setSuccessor(upBranch + 1);
  const uint8_t flags =
      static_cast<uint8_t>((symbol >= 0x40 ? 0x10 : 0) + highSymbolFlag(up.symbol));
  if (c->numStats == 0) {
    up.freq = c->oneState()->freq;
  } else {
    const State* s = findState(c, up.symbol);
    const uint32_t cf = s->freq - 1u;
    const uint32_t s0 = c->summFreq - c->numStats - cf;
    if (s0 == 0) return broken();
    up.freq = static_cast<uint8_t>(1 + (2 * cf <= s0 ? (5 * cf > s0) : (cf + 2 * s0 - 3) / s0));
  }

  do {
    const uint32_t childRef = mem_.allocContext();
    if (childRef == 0) return nullptr;
    Context* child = ctx(childRef);
    child->numStats = 0;
    child->flags = flags;
    *child->oneState() = up;
    child->suffix = ref(c);
    ps[--count]->setSuccessor(childRef);
    c = child;
  } while (count != 0);
  return c;
}

// The found state had no successor: its chain is pointed at the text and
// the first suffix with a real successor becomes the next context.
Context* Model::reduceOrder(State* s1, Context* c) {
  State* s = nullptr;
  Context* c1 = c;
  const uint32_t upBranch = mem_.text;
  const uint8_t symbol = foundState_->symbol;

  foundState_->setSuccessor(upBranch);
  orderFall_++;
  for (;;) {
    if (s1) {
      c = suffix(c);
      s = s1;
      s1 = nullptr;
    } else {
      if (!c->suffix) return c;
      c = suffix(c);
      if (c->numStats) {
        s = findState(c, symbol);
        if (s->freq < kMaxFreq - 9) {
          s->freq += 2;
          c->summFreq += 2;
        }
      } else {
        s = c->oneState();
        s->freq = static_cast<uint8_t>(s->freq + (s->freq < 32));
      }
    }
    if (s->successor()) break;
    s->setSuccessor(upBranch);
    orderFall_++;
  }

  if (s->successor() <= upBranch) {
    State* found = foundState_;
    foundState_ = s;
    Context* successor = createSuccessors(false, nullptr, c);
    s->setSuccessor(successor ? ref(successor) : 0);
    foundState_ = found;
  }
  if (orderFall_ == 1 && c1 == maxContext_) {
    foundState_->setSuccessor(s->successor());
    mem_.text--;
  }
  return s->successor() ? ctx(s->successor()) : nullptr;
}

void Model::updateModel() {
  State* fs = foundState_;
  uint32_t fSuccessor = fs->successor();
  const unsigned fFreq = fs->freq;
  const uint8_t fSymbol = fs->symbol;
  State* s = nullptr;

  // The symbol's state in the suffix gains too.
  if (fFreq < kMaxFreq / 4 && minContext_->suffix != 0) {
    Context* c = suffix(minContext_);
    if (c->numStats == 0) {
      s = c->oneState();
      if (s->freq < 32) s->freq++;
    } else {
      s = findState(c, fSymbol);
      if (s != stats(c)) {
        if (s[0].freq >= s[-1].freq) {
          swapStates(&s[0], &s[-1]);
          --s;
        }
      }
      if (s->freq < kMaxFreq - 9) {
        s->freq += 2;
        c->summFreq += 2;
      }
    }
  }

  Context* c = maxContext_;
  if (orderFall_ == 0 && fSuccessor) {
    Context* cs = createSuccessors(true, s, minContext_);
    if (!cs) {
      fs->setSuccessor(0);
      restoreModel(c);
    } else {
      fs->setSuccessor(ref(cs));
      maxContext_ = cs;
    }
    return;
  }

  *mem_.at(mem_.text++) = fSymbol;
  uint32_t successor = mem_.text;
  if (mem_.text >= mem_.unitsStart) {
    restoreModel(c);
    return;
  }

  if (!fSuccessor) {
    Context* cs = reduceOrder(s, minContext_);
    if (!cs) {
      restoreModel(c);
      return;
    }
    fSuccessor = ref(cs);
  } else if (fSuccessor < mem_.unitsStart) {
    Context* cs = createSuccessors(false, s, minContext_);
    if (!cs) {
      restoreModel(c);
      return;
    }
    fSuccessor = ref(cs);
  }

  if (--orderFall_ == 0) {
    successor = fSuccessor;
    mem_.text -= maxContext_ != minContext_;
  }

  const unsigned ns = minContext_->numStats;
  const uint32_t s0 = minContext_->summFreq - ns - fFreq;
  const uint8_t flag = highSymbolFlag(fSymbol);

  for (; c != minContext_; c = suffix(c)) {
    const unsigned ns1 = c->numStats;
    if (ns1 != 0) {
      if (ns1 & 1) {
        // An even number of states fills its units: one more is needed.
        const unsigned oldUnits = (ns1 + 1) >> 1;
        const unsigned i = mem_.unitsToIndex(oldUnits);
        if (i != mem_.unitsToIndex(oldUnits + 1)) {
          const uint32_t grown = mem_.allocUnits(i + 1);
          if (!grown) {
            restoreModel(c);
            return;
          }
          std::memcpy(mem_.at(grown), mem_.at(c->stats), oldUnits * kUnitSize);
          mem_.insertNode(c->stats, i);
          c->stats = grown;
        }
      }
      c->summFreq = static_cast<uint16_t>(c->summFreq + (3 * ns1 + 1 < ns));
    } else {
      const uint32_t two = mem_.allocUnits(0);
      if (!two) {
        restoreModel(c);
        return;
      }
      State* s2 = reinterpret_cast<State*>(mem_.at(two));
      *s2 = *c->oneState();
      c->stats = two;
      if (s2->freq < kMaxFreq / 4 - 1) {
        s2->freq = static_cast<uint8_t>(s2->freq << 1);
      } else {
        s2->freq = kMaxFreq - 4;
      }
      c->summFreq = static_cast<uint16_t>(s2->freq + initEsc_ + (ns > 2));
    }

    uint32_t cf = 2 * fFreq * (c->summFreq + 6u);
    const uint32_t sf = s0 + c->summFreq;
    if (cf < 6 * sf) {
      cf = 1 + (cf > sf) + (cf >= 4 * sf);
      c->summFreq += 4;
    } else {
      cf = 4 + (cf > 9 * sf) + (cf > 12 * sf) + (cf > 15 * sf);
      c->summFreq = static_cast<uint16_t>(c->summFreq + cf);
    }
    State* added = stats(c) + ns1 + 1;
    added->setSuccessor(successor);
    added->symbol = fSymbol;
    added->freq = static_cast<uint8_t>(cf);
    c->flags |= flag;
    c->numStats = static_cast<uint8_t>(ns1 + 1);
  }
  maxContext_ = minContext_ = ctx(fSuccessor);
}

// Halves the frequencies of the current context (the found state first),
// keeping them sorted, and drops the states that fall to zero.
void Model::rescale() {
  Context* mc = minContext_;
  State* first = stats(mc);
  State* s = foundState_;
  if (s != first) {
    const State found = *s;
    for (; s != first; --s) s[0] = s[-1];
    *s = found;
  }
  unsigned escFreq = mc->summFreq - s->freq;
  s->freq += 4;
  const unsigned adder = orderFall_ != 0;
  s->freq = static_cast<uint8_t>((s->freq + adder) >> 1);
  unsigned sumFreq = s->freq;

  unsigned i = mc->numStats;
  do {
    escFreq -= (++s)->freq;
    s->freq = static_cast<uint8_t>((s->freq + adder) >> 1);
    sumFreq += s->freq;
    if (s[0].freq > s[-1].freq) {
      State* s1 = s;
      const State moving = *s1;
      do {
        s1[0] = s1[-1];
      } while (--s1 != first && moving.freq > s1[-1].freq);
      *s1 = moving;
    }
  } while (--i);

  if (s->freq == 0) {
    const unsigned numStats = mc->numStats;
    do {
      ++i;
    } while ((--s)->freq == 0);
    escFreq += i;
    mc->numStats = static_cast<uint8_t>(mc->numStats - i);
    if (mc->numStats == 0) {
      State only = *first;
      only.freq = static_cast<uint8_t>((2 * only.freq + escFreq - 1) / escFreq);
      if (only.freq > kMaxFreq / 3) only.freq = kMaxFreq / 3;
      mem_.insertNode(mc->stats, mem_.unitsToIndex((numStats + 2) >> 1));
      mc->flags = static_cast<uint8_t>((mc->flags & 0x10) + highSymbolFlag(only.symbol));
      foundState_ = mc->oneState();
      *foundState_ = only;
      return;
    }
    const unsigned n0 = (numStats + 2) >> 1;
    const unsigned n1 = (mc->numStats + 2) >> 1;
    if (n0 != n1) mc->stats = mem_.shrinkUnits(mc->stats, n0, n1);
    uint8_t flags = mc->flags & ~0x08;
    State* t = stats(mc);
    for (unsigned k = 0; k <= mc->numStats; ++k) flags |= highSymbolFlag(t[k].symbol);
    mc->flags = flags;
  }
  mc->summFreq = static_cast<uint16_t>(sumFreq + escFreq - (escFreq >> 1));
  mc->flags |= 0x04;
  foundState_ = stats(mc);
}

}  // namespace extractor::ppmd
