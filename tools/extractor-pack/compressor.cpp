#include "compressor.h"

#include <zlib.h>

#include "engine/zip_format.h"

#ifdef EXTRACTOR_PACK_BZIP2
#include <bzlib.h>
#endif
#ifdef EXTRACTOR_PACK_LZMA
#include <lzma.h>
#endif

namespace extractor::pack {
namespace {

constexpr size_t kOutputChunk = 1 << 16;

class Deflater : public Compressor {
 public:
  explicit Deflater(int level) {
    ok_ = deflateInit2(&stream_, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) == Z_OK;
  }
  ~Deflater() override {
    if (ok_) deflateEnd(&stream_);
  }
  bool ok() const { return ok_; }
  uint16_t method() const override { return kMethodDeflated; }

  Error run(const uint8_t* data, size_t size, bool finish, Spool& spool) override {
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
  uint8_t out_[kOutputChunk];
};

#ifdef EXTRACTOR_PACK_BZIP2
// One bzip2 stream; the level is the block size in 100,000 bytes.
class Bzip2Compressor : public Compressor {
 public:
  explicit Bzip2Compressor(int level) { ok_ = BZ2_bzCompressInit(&stream_, level, 0, 0) == BZ_OK; }
  ~Bzip2Compressor() override {
    if (ok_) BZ2_bzCompressEnd(&stream_);
  }
  bool ok() const { return ok_; }
  uint16_t method() const override { return kMethodBzip2; }

  Error run(const uint8_t* data, size_t size, bool finish, Spool& spool) override {
    stream_.next_in = const_cast<char*>(reinterpret_cast<const char*>(data));
    stream_.avail_in = static_cast<unsigned>(size);
    int status = BZ_RUN_OK;
    do {
      stream_.next_out = reinterpret_cast<char*>(out_);
      stream_.avail_out = sizeof out_;
      status = BZ2_bzCompress(&stream_, finish ? BZ_FINISH : BZ_RUN);
      if (status < 0) return std::string("libbz2 failed to compress");
      if (Error e = spool.append(out_, sizeof out_ - stream_.avail_out)) return e;
    } while (stream_.avail_in != 0 || stream_.avail_out == 0 ||
             (finish && status != BZ_STREAM_END));
    return std::nullopt;
  }

 private:
  bz_stream stream_{};
  bool ok_ = false;
  uint8_t out_[kOutputChunk];
};
#endif

#ifdef EXTRACTOR_PACK_LZMA
// LZMA as ZIP stores it: version 2 bytes, properties size 2 bytes, the
// properties, then the raw stream, which ends with the end marker (flag
// bit 1 says so).
class LzmaCompressor : public Compressor {
 public:
  explicit LzmaCompressor(int level) {
    if (lzma_lzma_preset(&options_, static_cast<uint32_t>(level))) return;
    lzma_filter filters[2] = {{LZMA_FILTER_LZMA1, &options_}, {LZMA_VLI_UNKNOWN, nullptr}};
    uint8_t header[9] = {LZMA_VERSION_MAJOR, LZMA_VERSION_MINOR, 5, 0};
    if (lzma_properties_encode(filters, header + 4) != LZMA_OK) return;
    header_.assign(header, header + sizeof header);
    ok_ = lzma_raw_encoder(&stream_, filters) == LZMA_OK;
  }
  ~LzmaCompressor() override { lzma_end(&stream_); }
  bool ok() const { return ok_; }
  uint16_t method() const override { return kMethodLzma; }
  uint16_t flags() const override { return 1 << 1; }

  Error run(const uint8_t* data, size_t size, bool finish, Spool& spool) override {
    if (!header_.empty()) {
      if (Error e = spool.append(header_.data(), header_.size())) return e;
      header_.clear();
    }
    stream_.next_in = data;
    stream_.avail_in = size;
    lzma_ret status = LZMA_OK;
    do {
      stream_.next_out = out_;
      stream_.avail_out = sizeof out_;
      status = lzma_code(&stream_, finish ? LZMA_FINISH : LZMA_RUN);
      if (status != LZMA_OK && status != LZMA_STREAM_END) {
        return std::string("liblzma failed to compress");
      }
      if (Error e = spool.append(out_, sizeof out_ - stream_.avail_out)) return e;
    } while (stream_.avail_in != 0 || stream_.avail_out == 0 ||
             (finish && status != LZMA_STREAM_END));
    return std::nullopt;
  }

 private:
  lzma_options_lzma options_{};
  lzma_stream stream_ = LZMA_STREAM_INIT;
  std::vector<uint8_t> header_;
  bool ok_ = false;
  uint8_t out_[kOutputChunk];
};
#endif

template <typename T>
std::unique_ptr<Compressor> started(std::unique_ptr<T> c, const char* library,
                                    std::string& problem) {
  if (c->ok()) return c;
  problem = std::string(library) + " failed to start";
  return nullptr;
}

}  // namespace

bool methodAvailable(Method method) {
  switch (method) {
    case Method::Deflate:
      return true;
    case Method::Bzip2:
#ifdef EXTRACTOR_PACK_BZIP2
      return true;
#else
      return false;
#endif
    case Method::Lzma:
#ifdef EXTRACTOR_PACK_LZMA
      return true;
#else
      return false;
#endif
  }
  return false;
}

std::unique_ptr<Compressor> makeCompressor(Method method, int level, std::string& problem) {
  switch (method) {
    case Method::Deflate:
      return started(std::make_unique<Deflater>(level), "zlib", problem);
#ifdef EXTRACTOR_PACK_BZIP2
    case Method::Bzip2:
      return started(std::make_unique<Bzip2Compressor>(level), "libbz2", problem);
#endif
#ifdef EXTRACTOR_PACK_LZMA
    case Method::Lzma:
      return started(std::make_unique<LzmaCompressor>(level), "liblzma", problem);
#endif
    default:
      problem = "this extractor-pack was built without the method's library";
      return nullptr;
  }
}

}  // namespace extractor::pack
