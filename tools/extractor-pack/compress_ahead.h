// Compresses the files of a run on worker threads, ahead of the one thread
// that writes the archive, and hands each file's data back in input order.
// Each file is compressed as a thread of its own would compress it, so the
// archive comes out the same whatever the number of workers.
#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "entry_data.h"

namespace extractor::pack {

class CompressAhead {
 public:
  // The work for one file; it returns early with an error once cancelled
  // is set.
  using Compress = std::function<Error(const Input& input, Spool& spool, EntryData& data,
                                       const std::atomic<bool>& cancelled)>;

  // The spools hold the compressed data of the files waiting to be written;
  // each overflows into spoolPath with its number appended.
  CompressAhead(const std::vector<Input>& inputs, unsigned workers,
                const std::filesystem::path& spoolPath, Compress compress);
  // Stops the workers, abandoning the files not yet written.
  ~CompressAhead();
  CompressAhead(const CompressAhead&) = delete;
  CompressAhead& operator=(const CompressAhead&) = delete;

  struct Result {
    EntryData data;
    Spool& spool;
    Error error;
  };
  // Waits for the data of inputs[index]. Inputs are taken in order, each
  // once; taking one releases the room of the one before.
  Result take(size_t index);

 private:
  struct Slot {
    Slot(std::filesystem::path path, size_t memoryLimit) : spool(std::move(path), memoryLimit) {}
    Spool spool;
    EntryData data;
    Error error;
    size_t input = 0;
    bool done = false;
  };

  void work();

  const std::vector<Input>& inputs_;
  Compress compress_;
  std::vector<std::unique_ptr<Slot>> slots_;  // input i uses slot i % size
  std::mutex mutex_;
  std::condition_variable changed_;
  size_t next_ = 0;      // the next input to give a worker
  size_t released_ = 0;  // inputs below this have been written: their slots are free
  std::atomic<bool> cancelled_{false};
  std::vector<std::thread> threads_;
};

// One worker per processor.
unsigned defaultWorkers();

}  // namespace extractor::pack
