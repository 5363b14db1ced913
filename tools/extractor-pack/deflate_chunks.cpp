#include "deflate_chunks.h"

#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <fstream>

#include "crypto/crc32.h"
#include "engine/zip_format.h"

namespace extractor::pack {
namespace {

// Deflate's window: all a match can reach back.
constexpr size_t kDictionarySize = 32 * 1024;

// The chunk with the dictionary in front of it.
Error readChunk(const Input& input, uint64_t start, size_t size, size_t dictionary,
                std::vector<uint8_t>& buffer) {
  errno = 0;
  std::ifstream in(input.path, std::ios::binary);
  if (!in) return readFailure(input);
  buffer.resize(dictionary + size);
  in.seekg(static_cast<std::streamoff>(start - dictionary));
  in.read(reinterpret_cast<char*>(buffer.data()), static_cast<std::streamsize>(buffer.size()));
  if (in.bad()) return readFailure(input);
  if (static_cast<size_t>(in.gcount()) != buffer.size()) {
    return cannotRead(input) + ": it shrank while being packed";
  }
  bool last = start + size == input.size;
  if (last && in.peek() != std::ifstream::traits_type::eof()) {
    return cannotRead(input) + ": it grew while being packed";
  }
  return std::nullopt;
}

// Raw deflate of data after the dictionary, ending with the final block for
// the last chunk and with a sync flush for the others.
Error deflateWithDictionary(const uint8_t* dictionary, size_t dictionarySize, const uint8_t* data,
                            size_t size, int level, bool last, std::vector<uint8_t>& out) {
  z_stream stream{};
  if (deflateInit2(&stream, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
    return std::string("zlib failed to start");
  }
  if (dictionarySize > 0) {
    deflateSetDictionary(&stream, dictionary, static_cast<uInt>(dictionarySize));
  }
  // The bound holds a finished stream; a sync flush's empty block takes 5 bytes.
  out.resize(deflateBound(&stream, static_cast<uLong>(size)) + 16);
  stream.next_in = const_cast<Bytef*>(data);
  stream.avail_in = static_cast<uInt>(size);
  stream.next_out = out.data();
  stream.avail_out = static_cast<uInt>(out.size());
  int status = deflate(&stream, last ? Z_FINISH : Z_SYNC_FLUSH);
  bool done = last ? status == Z_STREAM_END : status == Z_OK && stream.avail_in == 0;
  bool complete = done && stream.avail_out > 0;
  out.resize(out.size() - stream.avail_out);
  deflateEnd(&stream);
  if (!complete) return std::string("zlib failed to deflate");
  return std::nullopt;
}

}  // namespace

uint64_t deflateChunkCount(const Input& input, Method method, int level) {
  if (method != Method::Deflate || level == 0 || input.folder) return 0;
  if (input.size <= kDeflateChunkSize) return 0;
  return (input.size + kDeflateChunkSize - 1) / kDeflateChunkSize;
}

Error deflateChunk(const Input& input, uint64_t index, int level, DeflatedChunk& chunk) {
  const uint64_t start = index * kDeflateChunkSize;
  const size_t size = static_cast<size_t>(std::min(kDeflateChunkSize, input.size - start));
  const size_t dictionary = start == 0 ? 0 : kDictionarySize;
  std::vector<uint8_t> buffer;
  if (Error e = readChunk(input, start, size, dictionary, buffer)) return e;
  const uint8_t* data = buffer.data() + dictionary;
  chunk.size = size;
  chunk.crc = crc32Update(0, data, static_cast<int32_t>(size));
  bool last = start + size == input.size;
  return deflateWithDictionary(buffer.data(), dictionary, data, size, level, last, chunk.bytes);
}

ChunkJoin::ChunkJoin(Spool& spool) : spool_(spool) {
  spool_.clear();
}

Error ChunkJoin::add(const DeflatedChunk& chunk) {
  crc_ = static_cast<uint32_t>(crc32_combine(crc_, chunk.crc, static_cast<z_off_t>(chunk.size)));
  size_ += chunk.size;
  return spool_.append(chunk.bytes.data(), chunk.bytes.size());
}

EntryData ChunkJoin::finish() {
  EntryData data;
  data.size = size_;
  data.crc = crc_;
  if (spool_.size() < size_) {
    data.method = kMethodDeflated;
    data.packedSize = spool_.size();
  } else {
    spool_.clear();
    data.packedSize = data.size;
  }
  return data;
}

}  // namespace extractor::pack
