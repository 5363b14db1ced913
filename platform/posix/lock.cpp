#include "platform/lock.h"

#include <mutex>
#include <new>

namespace extractor::platform {
namespace {

std::mutex* mutex(unsigned char* state) {
  return std::launder(reinterpret_cast<std::mutex*>(state));
}

}  // namespace

static_assert(sizeof(std::mutex) <= 64);

Lock::Lock() {
  new (state_) std::mutex;
}

Lock::~Lock() {
  mutex(state_)->~mutex();
}

void Lock::lock() {
  mutex(state_)->lock();
}

void Lock::unlock() {
  mutex(state_)->unlock();
}

}  // namespace extractor::platform
