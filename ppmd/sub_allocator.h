// The PPMd variant I memory: one block of the size the stream names, the
// text area growing up from its bottom, 12-byte units above it handed out
// from both ends of a gap and kept in free lists by size class. Which block
// an allocation takes decides when the memory fills up, and the model's
// restart or cut-off then, so the encoder's exact unit arithmetic is kept:
// the size classes, the order of the lists, splitting and gluing.
#pragma once

#include <cstdint>
#include <memory>

namespace extractor::ppmd {

constexpr uint32_t kUnitSize = 12;
constexpr unsigned kIndexCount = 38;  // size classes of 1..128 units
constexpr uint32_t kEmptyNode = 0xFFFFFFFF;

// States, contexts and free blocks take turns in the same units (a context
// of one symbol holds its state in place of two of its fields): accesses
// through these types may alias one another.
#if defined(__GNUC__)
#define PPMD_UNIT_TYPE __attribute__((may_alias))
#else
#define PPMD_UNIT_TYPE
#endif

// A free block; its first word tells it from a used one (whose first
// bytes are a state's or a context's, never all ones).
struct PPMD_UNIT_TYPE Node {
  uint32_t stamp;
  uint32_t next;
  uint32_t units;
};

class SubAllocator {
 public:
  SubAllocator();

  // Memory of `size` bytes, kept when an entry asks the same size again.
  bool allocate(uint32_t size);
  uint32_t size() const { return size_; }

  // Everything free again: text area empty, units untouched.
  void restart();

  uint8_t* at(uint32_t ref) const { return base_ + ref; }
  uint32_t ref(const void* p) const {
    return static_cast<uint32_t>(static_cast<const uint8_t*>(p) - base_);
  }

  uint32_t allocUnits(unsigned index);  // 0 when the memory is full
  uint32_t allocContext();
  void insertNode(uint32_t block, unsigned index);
  void freeUnits(uint32_t block, unsigned units) { insertNode(block, unitsToIndex(units)); }
  void specialFreeUnit(uint32_t block);
  uint32_t shrinkUnits(uint32_t block, unsigned oldUnits, unsigned newUnits);
  uint32_t moveUnitsUp(uint32_t block, unsigned units);
  void expandTextArea();
  uint32_t usedMemory() const;
  // Glue at the next shortage.
  void resetGlueCount() { glueCount_ = 0; }

  unsigned unitsToIndex(unsigned units) const { return unitsToIndex_[units - 1]; }
  unsigned indexToUnits(unsigned index) const { return indexToUnits_[index]; }

  // Positions (offsets from the base) the model reads and moves.
  uint32_t text = 0;        // next byte of the text area
  uint32_t unitsStart = 0;  // bottom of the units; the text area ends here
  uint32_t loUnit = 0;      // the gap between the units handed out from
  uint32_t hiUnit = 0;      // the bottom and those from the top
  uint32_t textStart = 0;   // where the text area begins

 private:
  Node* node(uint32_t ref) const { return reinterpret_cast<Node*>(base_ + ref); }
  uint32_t removeNode(unsigned index);
  void splitBlock(uint32_t block, unsigned oldIndex, unsigned newIndex);
  void insertRun(uint32_t block, uint32_t units);
  void glueFreeBlocks();
  uint32_t allocUnitsRare(unsigned index);

  std::unique_ptr<uint32_t[]> memory_;  // words, so that units are aligned
  uint8_t* base_ = nullptr;
  uint32_t size_ = 0;
  uint32_t glueCount_ = 0;
  uint32_t freeList_[kIndexCount] = {};
  uint32_t stamps_[kIndexCount] = {};  // blocks in each list
  uint8_t indexToUnits_[kIndexCount];
  uint8_t unitsToIndex_[128];
};

}  // namespace extractor::ppmd
