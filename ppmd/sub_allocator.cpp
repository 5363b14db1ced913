#include "ppmd/sub_allocator.h"

#include <cstring>
#include <new>

namespace extractor::ppmd {

SubAllocator::SubAllocator() {
  // Size classes: 1..4 units by one, then by two, three, and four up to 128.
  unsigned k = 0;
  for (unsigned i = 0; i < kIndexCount; ++i) {
    unsigned step = i >= 12 ? 4 : (i >> 2) + 1;
    do {
      unitsToIndex_[k++] = static_cast<uint8_t>(i);
    } while (--step);
    indexToUnits_[i] = static_cast<uint8_t>(k);
  }
}

bool SubAllocator::allocate(uint32_t size) {
  if (memory_ && size_ == size) return true;
  memory_.reset();
  size_ = 0;
  // The text area starts a few bytes in, so that no reference is 0 and the
  // units' end (text start plus size) falls on a word.
  const uint32_t align = 4 - (size & 3);
  memory_.reset(new (std::nothrow) uint32_t[(size_t{size} + align + 3) / 4]);
  if (!memory_) return false;
  base_ = reinterpret_cast<uint8_t*>(memory_.get());
  std::memset(base_, 0, align);
  size_ = size;
  textStart = align;
  return true;
}

void SubAllocator::restart() {
  std::memset(freeList_, 0, sizeof(freeList_));
  std::memset(stamps_, 0, sizeof(stamps_));
  text = textStart;
  hiUnit = text + size_;
  loUnit = unitsStart = hiUnit - size_ / 8 / kUnitSize * 7 * kUnitSize;
  glueCount_ = 0;
}

void SubAllocator::insertNode(uint32_t block, unsigned index) {
  Node* n = node(block);
  n->stamp = kEmptyNode;
  n->next = freeList_[index];
  n->units = indexToUnits_[index];
  freeList_[index] = block;
  stamps_[index]++;
}

uint32_t SubAllocator::removeNode(unsigned index) {
  const uint32_t block = freeList_[index];
  freeList_[index] = node(block)->next;
  stamps_[index]--;
  return block;
}

// Frees the part of a block of class oldIndex beyond class newIndex.
void SubAllocator::splitBlock(uint32_t block, unsigned oldIndex, unsigned newIndex) {
  const unsigned kept = indexToUnits_[newIndex];
  insertRun(block + kept * kUnitSize, indexToUnits_[oldIndex] - kept);
}

// Frees a run of units in blocks of 128 and at most two smaller ones.
void SubAllocator::insertRun(uint32_t block, uint32_t units) {
  for (; units > 128; units -= 128, block += 128 * kUnitSize) insertNode(block, kIndexCount - 1);
  unsigned i = unitsToIndex(units);
  if (indexToUnits_[i] != units) {
    const unsigned k = indexToUnits_[--i];
    insertNode(block + k * kUnitSize, units - k - 1);
  }
  insertNode(block, i);
}

// Merges free blocks that lie next to each other. The blocks are chained
// in list order (class by class, each list from its head); each absorbs
// the free blocks following it in memory, which are left with 0 units.
// The chain is then handed back to the lists in the same order.
void SubAllocator::glueFreeBlocks() {
  glueCount_ = 1 << 13;
  std::memset(stamps_, 0, sizeof(stamps_));
  // A guard where the gap begins; the top unit is always the root context.
  if (loUnit != hiUnit) node(loUnit)->stamp = 0;

  uint32_t head = 0;
  uint32_t* link = &head;
  for (unsigned i = 0; i < kIndexCount; ++i) {
    uint32_t next = freeList_[i];
    freeList_[i] = 0;
    while (next != 0) {
      Node* n = node(next);
      uint32_t units = n->units;
      *link = next;
      next = n->next;
      if (units == 0) continue;
      link = &n->next;
      for (Node* after = n + units; after->stamp == kEmptyNode; after = n + units) {
        units += after->units;
        after->units = 0;
        n->units = units;
      }
    }
  }
  *link = 0;

  while (head != 0) {
    Node* n = node(head);
    const uint32_t block = head;
    head = n->next;
    if (n->units != 0) insertRun(block, n->units);
  }
}

uint32_t SubAllocator::allocUnitsRare(unsigned index) {
  if (glueCount_ == 0) {
    glueFreeBlocks();
    if (freeList_[index] != 0) return removeNode(index);
  }
  unsigned i = index;
  do {
    if (++i == kIndexCount) {
      // No larger block either: take the units from the text area's top.
      const uint32_t bytes = indexToUnits_[index] * kUnitSize;
      glueCount_--;
      if (unitsStart - text <= bytes) return 0;
      unitsStart -= bytes;
      return unitsStart;
    }
  } while (freeList_[i] == 0);
  const uint32_t block = removeNode(i);
  splitBlock(block, i, index);
  return block;
}

uint32_t SubAllocator::allocUnits(unsigned index) {
  if (freeList_[index] != 0) return removeNode(index);
  const uint32_t bytes = indexToUnits_[index] * kUnitSize;
  if (bytes <= hiUnit - loUnit) {
    const uint32_t block = loUnit;
    loUnit += bytes;
    return block;
  }
  return allocUnitsRare(index);
}

uint32_t SubAllocator::allocContext() {
  if (hiUnit != loUnit) return hiUnit -= kUnitSize;
  if (freeList_[0] != 0) return removeNode(0);
  return allocUnitsRare(0);
}

// A unit at the text area's top goes back to the text area.
void SubAllocator::specialFreeUnit(uint32_t block) {
  if (block != unitsStart) {
    insertNode(block, 0);
  } else {
    unitsStart += kUnitSize;
  }
}

uint32_t SubAllocator::shrinkUnits(uint32_t block, unsigned oldUnits, unsigned newUnits) {
  const unsigned i0 = unitsToIndex(oldUnits);
  const unsigned i1 = unitsToIndex(newUnits);
  if (i0 == i1) return block;
  if (freeList_[i1] != 0) {
    const uint32_t moved = removeNode(i1);
    std::memcpy(at(moved), at(block), newUnits * kUnitSize);
    insertNode(block, i0);
    return moved;
  }
  splitBlock(block, i0, i1);
  return block;
}

// Moves a block near the text area up into a free block of its class, to
// let the text area grow.
uint32_t SubAllocator::moveUnitsUp(uint32_t block, unsigned units) {
  const unsigned index = unitsToIndex(units);
  if (block > unitsStart + (1 << 14) || block > freeList_[index]) return block;
  const uint32_t moved = removeNode(index);
  std::memcpy(at(moved), at(block), units * kUnitSize);
  if (block != unitsStart) {
    insertNode(block, index);
  } else {
    unitsStart += indexToUnits_[index] * kUnitSize;
  }
  return moved;
}

// Gives the free blocks at the bottom of the units to the text area and
// takes them out of their lists.
void SubAllocator::expandTextArea() {
  uint32_t count[kIndexCount] = {};
  if (loUnit != hiUnit) node(loUnit)->stamp = 0;
  for (Node* n = node(unitsStart); n->stamp == kEmptyNode && n->units - 1 < 128;) {
    const uint32_t units = n->units;
    n->stamp = 0;
    count[unitsToIndex(units)]++;
    unitsStart += units * kUnitSize;
    n = node(unitsStart);
  }
  for (unsigned i = 0; i < kIndexCount; ++i) {
    if (count[i] == 0) continue;
    stamps_[i] -= count[i];
    uint32_t* link = &freeList_[i];
    while (*link != 0) {
      Node* n = node(*link);
      if (n->stamp != 0) {
        link = &n->next;
        continue;
      }
      *link = n->next;
      if (--count[i] == 0) break;
    }
  }
}

uint32_t SubAllocator::usedMemory() const {
  uint32_t freeUnits = 0;
  for (unsigned i = 0; i < kIndexCount; ++i) freeUnits += stamps_[i] * indexToUnits_[i];
  return size_ - (hiUnit - loUnit) - (unitsStart - text) - freeUnits * kUnitSize;
}

}  // namespace extractor::ppmd
