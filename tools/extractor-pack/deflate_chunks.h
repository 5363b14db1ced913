// Large files deflated in chunks, so that one file keeps every worker busy.
// Each chunk is deflated on its own with the 32 KiB before it as preset
// dictionary and ends on a byte boundary with an empty stored block (a sync
// flush), the last one with the final block; joined in order, the chunks
// form the entry's one deflate stream, and the entry's CRC-32 is combined
// from theirs. The chunk size is fixed, so the archive does not depend on
// the number of workers; matches still reach across chunk boundaries, so
// the stream grows by well under 0.1 % against one deflated whole.
#pragma once

#include <cstdint>
#include <vector>

#include "entry_data.h"

namespace extractor::pack {

constexpr uint64_t kDeflateChunkSize = uint64_t{1} << 20;

// The chunks a file is deflated in; 0 for a file deflated whole (one of at
// most a chunk, level 0, or another method), as it always was.
uint64_t deflateChunkCount(const Input& input, Method method, int level);

struct DeflatedChunk {
  std::vector<uint8_t> bytes;
  uint32_t crc = 0;   // of the chunk's input
  uint64_t size = 0;  // of the chunk's input
};

// Reads chunk index of the file, with the bytes before it, and deflates it.
Error deflateChunk(const Input& input, uint64_t index, int level, DeflatedChunk& chunk);

// Joins an entry's chunks, in order, in spool.
class ChunkJoin {
 public:
  explicit ChunkJoin(Spool& spool);
  Error add(const DeflatedChunk& chunk);
  // The entry's data: deflated, or stored (spool emptied) when deflating did
  // not make them smaller.
  EntryData finish();

 private:
  Spool& spool_;
  uint32_t crc_ = 0;
  uint64_t size_ = 0;
};

}  // namespace extractor::pack
