#include "compress_ahead.h"

#include <algorithm>
#include <string>

namespace extractor::pack {
namespace {

// Compressed data held in memory by all waiting files together; beyond
// their share, files spool to disk. A file joined from chunks has as much
// again.
constexpr size_t kSpoolMemory = 64u << 20;
constexpr size_t kSmallestShare = 8u << 20;

std::filesystem::path numbered(const std::filesystem::path& path, const std::string& suffix) {
  std::filesystem::path result = path;
  result += suffix;
  return result;
}

}  // namespace

unsigned defaultWorkers() {
  return std::max(1u, std::thread::hardware_concurrency());
}

CompressAhead::CompressAhead(const std::vector<Input>& inputs, const std::vector<uint64_t>& chunks,
                             unsigned workers, const std::filesystem::path& spoolPath,
                             Compress compress, CompressChunk compressChunk)
    : inputs_(inputs),
      compress_(std::move(compress)),
      compressChunk_(std::move(compressChunk)),
      joined_(numbered(spoolPath, "j"), kSpoolMemory) {
  for (size_t i = 0; i < inputs.size(); i++) {
    firstTask_.push_back(tasks_.size());
    if (chunks[i] == 0) tasks_.push_back({i, kWholeFile});
    for (uint64_t c = 0; c < chunks[i]; c++) tasks_.push_back({i, c});
  }
  // Four tasks per worker: chunks take unequal times, and a worker done
  // with a quick one goes on while a slow one before it is still being
  // deflated.
  const size_t slots = size_t{workers} * 4;
  const size_t share = std::max(kSmallestShare, kSpoolMemory / slots);
  for (size_t i = 0; i < slots; i++) {
    slots_.push_back(std::make_unique<Slot>(numbered(spoolPath, std::to_string(i)), share));
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

Error CompressAhead::runTask(const Task& task, Slot& slot) {
  const Input& input = inputs_[task.input];
  if (task.chunk != kWholeFile) return compressChunk_(input, task.chunk, slot.chunk, cancelled_);
  slot.data = EntryData{};
  if (input.folder) return std::nullopt;
  slot.spool.clear();
  return compress_(input, slot.spool, slot.data, cancelled_);
}

void CompressAhead::work() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    changed_.wait(lock, [this] {
      return cancelled_ || next_ >= tasks_.size() || next_ < released_ + slots_.size();
    });
    if (cancelled_ || next_ >= tasks_.size()) return;
    const size_t index = next_++;
    Slot& slot = slotOf(index);
    lock.unlock();
    Error error = runTask(tasks_[index], slot);
    lock.lock();
    slot.error = std::move(error);
    slot.task = index;
    slot.done = true;
    changed_.notify_all();
  }
}

void CompressAhead::releaseBefore(size_t task) {
  if (task <= released_) return;
  released_ = task;
  slotOf(task - 1).done = false;
  changed_.notify_all();
}

CompressAhead::Result CompressAhead::take(size_t index,
                                          const std::function<void(uint64_t bytes)>& joined) {
  std::unique_lock<std::mutex> lock(mutex_);
  const size_t first = firstTask_[index];
  // The slots of the input before are free now: its entry has been written.
  releaseBefore(first);
  if (tasks_[first].chunk != kWholeFile) return joinChunks(index, lock, joined);
  Slot& slot = slotOf(first);
  changed_.wait(lock, [&] { return slot.done && slot.task == first; });
  return {slot.data, slot.spool, slot.error};
}

CompressAhead::Result CompressAhead::joinChunks(size_t index, std::unique_lock<std::mutex>& lock,
                                                const std::function<void(uint64_t bytes)>& joined) {
  const size_t end = index + 1 < inputs_.size() ? firstTask_[index + 1] : tasks_.size();
  ChunkJoin join(joined_);
  for (size_t task = firstTask_[index]; task < end; task++) {
    Slot& slot = slotOf(task);
    changed_.wait(lock, [&] { return slot.done && slot.task == task; });
    if (slot.error) return {EntryData{}, joined_, slot.error};
    // No worker touches the slot before it is released.
    lock.unlock();
    Error error = join.add(slot.chunk);
    joined(slot.chunk.size);
    lock.lock();
    if (error) return {EntryData{}, joined_, error};
    releaseBefore(task + 1);
  }
  return {join.finish(), joined_, std::nullopt};
}

}  // namespace extractor::pack
