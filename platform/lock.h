// The system's plain lock, for the few texts the window and the worker both
// use. It holds no resource that can fail to be made, and it never throws.
#pragma once

namespace extractor::platform {

class Lock {
 public:
  Lock();
  ~Lock();
  Lock(const Lock&) = delete;
  Lock& operator=(const Lock&) = delete;

  void lock();
  void unlock();

 private:
  alignas(8) unsigned char state_[64];
};

}  // namespace extractor::platform
