#include "platform/lock.h"

#include <windows.h>

#include <new>

namespace extractor::platform {
namespace {

SRWLOCK* srwLock(unsigned char* state) {
  return reinterpret_cast<SRWLOCK*>(state);
}

}  // namespace

static_assert(sizeof(SRWLOCK) <= 64);

Lock::Lock() {
  new (state_) SRWLOCK(SRWLOCK_INIT);
}

Lock::~Lock() = default;

void Lock::lock() {
  AcquireSRWLockExclusive(srwLock(state_));
}

void Lock::unlock() {
  ReleaseSRWLockExclusive(srwLock(state_));
}

}  // namespace extractor::platform
