#include "entry_data.h"

#include <zlib.h>

#include <fstream>
#include <vector>

#include "crypto/crc32.h"

namespace extractor::pack {
namespace {

constexpr size_t kChunk = 1 << 20;

std::string cannotRead(const Input& input) {
  return "cannot read " + input.path.u8string();
}

// Reads the file chunk by chunk; an error from use stops the reading.
Error readChunks(const Input& input, const std::function<Error(const uint8_t*, size_t)>& use) {
  std::ifstream in(input.path, std::ios::binary);
  if (!in) return cannotRead(input);
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

class Deflater {
 public:
  explicit Deflater(int level) {
    ok_ = deflateInit2(&stream_, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) == Z_OK;
  }
  ~Deflater() {
    if (ok_) deflateEnd(&stream_);
  }
  bool ok() const { return ok_; }

  // Compresses data (finishing the stream when finish is set) into spool.
  Error run(const uint8_t* data, size_t size, bool finish, Spool& spool) {
    stream_.next_in = const_cast<Bytef*>(data);
    stream_.avail_in = static_cast<uInt>(size);
    int status = Z_OK;
    do {
      stream_.next_out = out_;
      stream_.avail_out = sizeof out_;
      status = deflate(&stream_, finish ? Z_FINISH : Z_NO_FLUSH);
      if (status == Z_STREAM_ERROR) return std::string("zlib failed to deflate");
      if (Error e = spool.append(out_, sizeof out_ - stream_.avail_out)) return e;
    } while (stream_.avail_out == 0 || (finish && status != Z_STREAM_END));
    return std::nullopt;
  }

 private:
  z_stream stream_{};
  bool ok_ = false;
  uint8_t out_[1 << 16];
};

}  // namespace

Error compressFile(const Input& input, int level, Spool& spool, EntryData& data,
                   const ProgressCallback& progress) {
  spool.clear();
  data = EntryData{};
  data.size = input.size;
  uint32_t crc = 0;
  auto deflater = level > 0 && input.size > 0 ? std::make_unique<Deflater>(level) : nullptr;
  if (deflater && !deflater->ok()) return std::string("zlib failed to start");
  Error readError = readChunks(input, [&](const uint8_t* bytes, size_t size) -> Error {
    crc = crc32Update(crc, bytes, static_cast<int32_t>(size));
    if (Error e = progress(size)) return e;
    return deflater ? deflater->run(bytes, size, false, spool) : std::nullopt;
  });
  if (readError) return readError;
  if (deflater) {
    if (Error e = deflater->run(nullptr, 0, true, spool)) return e;
  }
  data.crc = crc;
  if (deflater && spool.size() < input.size) {
    data.method = 8;
    data.packedSize = spool.size();
  } else {
    spool.clear();
    data.packedSize = data.size;
  }
  return std::nullopt;
}

Error replayEntry(const Input& input, const EntryData& data, Spool& spool, const ByteSink& sink) {
  if (data.method == 8) return spool.replay(sink);
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
