#include "compress_ahead.h"

#include <algorithm>
#include <string>

namespace extractor::pack {
namespace {

// Compressed data held in memory by all waiting files together; beyond
// their share, files spool to disk.
constexpr size_t kSpoolMemory = 64u << 20;
constexpr size_t kSmallestShare = 8u << 20;

}  // namespace

unsigned defaultWorkers() {
  return std::max(1u, std::thread::hardware_concurrency());
}

CompressAhead::CompressAhead(const std::vector<Input>& inputs, unsigned workers,
                             const std::filesystem::path& spoolPath, Compress compress)
    : inputs_(inputs), compress_(std::move(compress)) {
  // Two files per worker: one compressing while the other waits its turn.
  const size_t slots = size_t{workers} * 2;
  const size_t share = std::max(kSmallestShare, kSpoolMemory / slots);
  for (size_t i = 0; i < slots; i++) {
    std::filesystem::path path = spoolPath;
    path += std::to_string(i);
    slots_.push_back(std::make_unique<Slot>(path, share));
  }
  for (unsigned i = 0; i < workers; i++) threads_.emplace_back(&CompressAhead::work, this);
}

CompressAhead::~CompressAhead() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    cancelled_ = true;
  }
  changed_.notify_all();
  for (std::thread& thread : threads_) thread.join();
}

void CompressAhead::work() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    changed_.wait(lock, [this] {
      return cancelled_ || next_ >= inputs_.size() || next_ < released_ + slots_.size();
    });
    if (cancelled_ || next_ >= inputs_.size()) return;
    const size_t index = next_++;
    Slot& slot = *slots_[index % slots_.size()];
    lock.unlock();
    const Input& input = inputs_[index];
    EntryData data;
    Error error;
    if (!input.folder) {
      slot.spool.clear();
      error = compress_(input, slot.spool, data, cancelled_);
    }
    lock.lock();
    slot.data = data;
    slot.error = std::move(error);
    slot.input = index;
    slot.done = true;
    changed_.notify_all();
  }
}

CompressAhead::Result CompressAhead::take(size_t index) {
  std::unique_lock<std::mutex> lock(mutex_);
  // The slot of the input before is free now: its entry has been written.
  if (index > released_) {
    released_ = index;
    Slot& previous = *slots_[(index - 1) % slots_.size()];
    previous.done = false;
    changed_.notify_all();
  }
  Slot& slot = *slots_[index % slots_.size()];
  changed_.wait(lock, [&] { return slot.done && slot.input == index; });
  return {slot.data, slot.spool, slot.error};
}

}  // namespace extractor::pack
