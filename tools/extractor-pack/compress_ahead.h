// Compresses the files of a run on worker threads, ahead of the one thread
// that writes the archive, and hands each file's data back in input order.
// A large file is cut into chunks that the workers deflate like files of
// their own (see deflate_chunks.h). Each file or chunk is compressed as a
// thread of its own would compress it, so the archive comes out the same
// whatever the number of workers.
#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "deflate_chunks.h"
#include "entry_data.h"

namespace extractor::pack {

class CompressAhead {
 public:
  // The work for one whole file; it returns early with an error once
  // cancelled is set.
  using Compress = std::function<Error(const Input& input, Spool& spool, EntryData& data,
                                       const std::atomic<bool>& cancelled)>;
  // The work for one chunk of a file.
  using CompressChunk = std::function<Error(const Input& input, uint64_t chunk, DeflatedChunk& data,
                                            const std::atomic<bool>& cancelled)>;

  // chunks[i]: the chunks inputs[i] is cut into, 0 for a file compressed
  // whole. The spools hold the compressed data of the files waiting to be
  // written; each overflows into spoolPath with its number appended.
  CompressAhead(const std::vector<Input>& inputs, const std::vector<uint64_t>& chunks,
                unsigned workers, const std::filesystem::path& spoolPath, Compress compress,
                CompressChunk compressChunk);
  // Stops the workers, abandoning the files not yet written.
  ~CompressAhead();
  CompressAhead(const CompressAhead&) = delete;
  CompressAhead& operator=(const CompressAhead&) = delete;

  struct Result {
    EntryData data;
    Spool& spool;
    Error error;
  };
  // Waits for the data of inputs[index], joining its chunks if it has any
  // (joined is told of the bytes of each). Inputs are taken in order, each
  // once; taking one releases the room of the one before.
  Result take(size_t index, const std::function<void(uint64_t bytes)>& joined);

 private:
  static constexpr uint64_t kWholeFile = ~uint64_t{0};

  // A file, or one chunk of a file.
  struct Task {
    size_t input;
    uint64_t chunk;
  };

  struct Slot {
    Slot(std::filesystem::path path, size_t memoryLimit) : spool(std::move(path), memoryLimit) {}
    Spool spool;  // a whole file's data
    EntryData data;
    DeflatedChunk chunk;
    Error error;
    size_t task = 0;
    bool done = false;
  };

  void work();
  Error runTask(const Task& task, Slot& slot);
  Slot& slotOf(size_t task) { return *slots_[task % slots_.size()]; }
  // Frees the slots of the tasks below task: their data have been used.
  void releaseBefore(size_t task);
  Result joinChunks(size_t index, std::unique_lock<std::mutex>& lock,
                    const std::function<void(uint64_t bytes)>& joined);

  const std::vector<Input>& inputs_;
  Compress compress_;
  CompressChunk compressChunk_;
  std::vector<Task> tasks_;
  std::vector<size_t> firstTask_;             // of each input
  std::vector<std::unique_ptr<Slot>> slots_;  // task t uses slot t % size
  Spool joined_;                              // the chunks of the file being taken
  std::mutex mutex_;
  std::condition_variable changed_;
  size_t next_ = 0;      // the next task to give a worker
  size_t released_ = 0;  // tasks below this have been used: their slots are free
  std::atomic<bool> cancelled_{false};
  std::vector<std::thread> threads_;
};

// One worker per processor.
unsigned defaultWorkers();

}  // namespace extractor::pack
