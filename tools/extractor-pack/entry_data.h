// The data of one file entry: its CRC-32, and its bytes compressed or,
// when compressing would not make them smaller, stored.
#pragma once

#include <cstdint>
#include <functional>

#include "inputs.h"
#include "options.h"
#include "spool.h"

namespace extractor::pack {

struct EntryData {
  uint16_t method = 0;
  uint16_t flags = 0;  // general purpose flags of the method
  uint32_t crc = 0;
  uint64_t size = 0;
  uint64_t packedSize = 0;  // before encryption
};

// "cannot read PATH", and the same with the system's reason for the call
// that failed last (errno, cleared before the call).
std::string cannotRead(const Input& input);
std::string readFailure(const Input& input);

// Told of every chunk read; an error from it stops the reading.
using ProgressCallback = std::function<Error(uint64_t bytes)>;

// Reads the file once; level 0 only computes the CRC-32. The compressed
// bytes are left in spool.
Error compressFile(const Input& input, Method method, int level, Spool& spool, EntryData& data,
                   const ProgressCallback& progress);

// The entry's packed bytes: the spool for a compressed entry, the file read
// again for a stored one (which must still have the CRC-32 found before).
Error replayEntry(const Input& input, const EntryData& data, Spool& spool, const ByteSink& sink);

}  // namespace extractor::pack
