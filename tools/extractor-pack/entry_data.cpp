#include "entry_data.h"

#include <cerrno>
#include <fstream>
#include <system_error>
#include <vector>

#include "compressor.h"
#include "crypto/crc32.h"
#include "deflate_chunks.h"

namespace extractor::pack {

std::string cannotRead(const Input& input) {
  return "cannot read " + input.path.u8string();
}

std::string readFailure(const Input& input) {
  if (errno == 0) return cannotRead(input);
  return cannotRead(input) + ": " + std::generic_category().message(errno);
}

namespace {

constexpr size_t kChunk = 1 << 20;

// Reads the file chunk by chunk; an error from use stops the reading.
Error readChunks(const Input& input, const std::function<Error(const uint8_t*, size_t)>& use) {
  errno = 0;
  std::ifstream in(input.path, std::ios::binary);
  if (!in) return readFailure(input);
  std::vector<uint8_t> buffer(kChunk);
  uint64_t total = 0;
  while (in) {
    in.read(reinterpret_cast<char*>(buffer.data()), static_cast<std::streamsize>(buffer.size()));
    size_t got = static_cast<size_t>(in.gcount());
    total += got;
    if (total > input.size) return cannotRead(input) + ": it grew while being packed";
    if (got == 0) continue;
    if (Error e = use(buffer.data(), got)) return e;
  }
  if (in.bad()) return cannotRead(input);
  if (total != input.size) return cannotRead(input) + ": it shrank while being packed";
  return std::nullopt;
}

// A large file's chunks one after the other, as workers would deflate them.
Error deflateInChunks(const Input& input, uint64_t chunks, int level, Spool& spool, EntryData& data,
                      const ProgressCallback& progress) {
  ChunkJoin join(spool);
  DeflatedChunk chunk;
  for (uint64_t i = 0; i < chunks; i++) {
    if (Error e = deflateChunk(input, i, level, chunk)) return e;
    if (Error e = progress(chunk.size)) return e;
    if (Error e = join.add(chunk)) return e;
  }
  data = join.finish();
  return std::nullopt;
}

}  // namespace

Error compressFile(const Input& input, Method method, int level, Spool& spool, EntryData& data,
                   const ProgressCallback& progress) {
  if (uint64_t chunks = deflateChunkCount(input, method, level)) {
    return deflateInChunks(input, chunks, level, spool, data, progress);
  }
  spool.clear();
  data = EntryData{};
  data.size = input.size;
  uint32_t crc = 0;
  std::unique_ptr<Compressor> compressor;
  if (level > 0 && input.size > 0) {
    std::string problem;
    compressor = makeCompressor(method, level, problem);
    if (!compressor) return problem;
  }
  Error readError = readChunks(input, [&](const uint8_t* bytes, size_t size) -> Error {
    crc = crc32Update(crc, bytes, static_cast<int32_t>(size));
    if (Error e = progress(size)) return e;
    return compressor ? compressor->run(bytes, size, false, spool) : std::nullopt;
  });
  if (readError) return readError;
  if (compressor) {
    if (Error e = compressor->run(nullptr, 0, true, spool)) return e;
  }
  data.crc = crc;
  if (compressor && spool.size() < input.size) {
    data.method = compressor->method();
    data.flags = compressor->flags();
    data.packedSize = spool.size();
  } else {
    spool.clear();
    data.packedSize = data.size;
  }
  return std::nullopt;
}

Error replayEntry(const Input& input, const EntryData& data, Spool& spool, const ByteSink& sink) {
  if (data.method != 0) return spool.replay(sink);
  uint32_t crc = 0;
  Error readError = readChunks(input, [&](const uint8_t* bytes, size_t size) -> Error {
    crc = crc32Update(crc, bytes, static_cast<int32_t>(size));
    return sink(bytes, size);
  });
  if (readError) return readError;
  if (crc != data.crc) return cannotRead(input) + ": it changed while being packed";
  return std::nullopt;
}

}  // namespace extractor::pack
