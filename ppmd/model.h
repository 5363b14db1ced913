// The PPMd variant I (revision 1) model: a tree of contexts of up to the
// stream's order, each listing the symbols seen after it with their
// frequencies, a binary-context probability table and secondary escape
// estimation. Decoding a symbol updates the model exactly as encoding it
// did, including what happens when the memory fills up.
#pragma once

#include <cstdint>

#include "ppmd/range_decoder.h"
#include "ppmd/sub_allocator.h"

namespace extractor::ppmd {

constexpr unsigned kMinOrder = 2;
constexpr unsigned kMaxOrder = 16;

enum RestoreMethod : unsigned {
  kRestart = 0,  // memory full: start the model afresh
  kCutOff = 1,   // memory full: drop the deepest contexts
  kFreeze = 2,   // memory full: stop growing (not decoded)
};

struct PPMD_UNIT_TYPE State {
  uint8_t symbol;
  uint8_t freq;
  uint16_t successorLow;   // a context or a text position, in two halves
  uint16_t successorHigh;  // for the 6-byte layout

  uint32_t successor() const { return successorLow | uint32_t{successorHigh} << 16; }
  void setSuccessor(uint32_t ref) {
    successorLow = static_cast<uint16_t>(ref);
    successorHigh = static_cast<uint16_t>(ref >> 16);
  }
};

// One unit. A context of one symbol keeps its state in place of summFreq
// and stats.
struct PPMD_UNIT_TYPE Context {
  uint8_t numStats;  // symbols - 1
  uint8_t flags;     // 0x04 rescaled, 0x08 a symbol >= 0x40, 0x10 the last one was
  uint16_t summFreq;
  uint32_t stats;
  uint32_t suffix;

  State* oneState() { return reinterpret_cast<State*>(&summFreq); }
};

// Secondary escape estimation: an adaptive escape frequency.
struct See {
  uint16_t summ;
  uint8_t shift;
  uint8_t count;
};

class Model {
 public:
  static constexpr int kEndMark = -1;
  static constexpr int kError = -2;

  Model();

  bool allocate(uint32_t size) { return mem_.allocate(size); }
  void init(unsigned maxOrder, unsigned restoreMethod);
  // A byte, kEndMark or kError.
  int decodeSymbol(RangeDecoder& rc);
  // The model reached a state no encoder's model can be in; only damaged
  // data lead there (if at all), and nothing more is decoded.
  bool isBroken() const { return broken_; }

 private:
  Context* ctx(uint32_t ref) const { return reinterpret_cast<Context*>(mem_.at(ref)); }
  State* stats(const Context* c) const { return reinterpret_cast<State*>(mem_.at(c->stats)); }
  Context* suffix(const Context* c) const { return ctx(c->suffix); }
  uint32_t ref(const void* p) const { return mem_.ref(p); }

  State* findState(Context* c, uint8_t symbol);
  Context* broken();
  uint16_t* binSummFor(Context* c);
  See* makeEscFreq(unsigned numMasked, uint32_t& escFreq);
  int decodeMasked(RangeDecoder& rc, uint8_t* mask);

  void restartModel();
  void update1();
  void update1First();
  void updateBin();
  void update2();
  void nextContext();
  void updateModel();
  void rescale();
  Context* createSuccessors(bool skip, State* s1, Context* c);
  Context* reduceOrder(State* s1, Context* c);
  void restoreModel(Context* c1);
  void refresh(Context* c, unsigned oldUnits, unsigned scale);
  uint32_t cutOff(Context* c, unsigned order);

  SubAllocator mem_;
  Context* minContext_ = nullptr;
  Context* maxContext_ = nullptr;
  State* foundState_ = nullptr;
  unsigned orderFall_ = 0;
  unsigned initEsc_ = 0;
  unsigned prevSuccess_ = 0;
  unsigned maxOrder_ = 0;
  unsigned restoreMethod_ = 0;
  uint32_t runLength_ = 0;  // signed in meaning: its top bit says "negative"
  uint32_t initRunLength_ = 0;
  bool broken_ = false;

  uint8_t ns2Index_[260];
  uint8_t ns2BinIndex_[256];
  uint16_t binSumm_[27][64];  // rows 25 and 26 for frequencies a model never has
  See see_[24][32];
  See dummySee_;
};

}  // namespace extractor::ppmd
