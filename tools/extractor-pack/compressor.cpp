#include "compressor.h"

#include <zlib.h>

#include "engine/zip_format.h"

#ifdef EXTRACTOR_PACK_BZIP2
#include <bzlib.h>
#endif
#ifdef EXTRACTOR_PACK_LZMA
#include <lzma.h>
#endif
#ifdef EXTRACTOR_PACK_ZSTD
#include <zstd.h>
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
// liblzma's encoders share the way they are fed; a header of the method may
// go in front of what they make.
class LiblzmaCompressor : public Compressor {
 public:
  ~LiblzmaCompressor() override { lzma_end(&stream_); }
  bool ok() const { return ok_; }

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

 protected:
  lzma_stream stream_ = LZMA_STREAM_INIT;
  std::vector<uint8_t> header_;
  bool ok_ = false;

 private:
  uint8_t out_[kOutputChunk];
};

// LZMA as ZIP stores it: version 2 bytes, properties size 2 bytes, the
// properties, then the raw stream, which ends with the end marker (flag
// bit 1 says so). The level is the preset.
class LzmaCompressor : public LiblzmaCompressor {
 public:
  explicit LzmaCompressor(int level) {
    if (lzma_lzma_preset(&options_, static_cast<uint32_t>(level))) return;
    lzma_filter filters[2] = {{LZMA_FILTER_LZMA1, &options_}, {LZMA_VLI_UNKNOWN, nullptr}};
    uint8_t header[9] = {LZMA_VERSION_MAJOR, LZMA_VERSION_MINOR, 5, 0};
    if (lzma_properties_encode(filters, header + 4) != LZMA_OK) return;
    header_.assign(header, header + sizeof header);
    ok_ = lzma_raw_encoder(&stream_, filters) == LZMA_OK;
  }
  uint16_t method() const override { return kMethodLzma; }
  uint16_t flags() const override { return 1 << 1; }

 private:
  lzma_options_lzma options_{};
};

// A complete .xz stream (LZMA2, CRC-64 check); the level is the preset.
class XzCompressor : public LiblzmaCompressor {
 public:
  explicit XzCompressor(int level) {
    ok_ = lzma_easy_encoder(&stream_, static_cast<uint32_t>(level), LZMA_CHECK_CRC64) == LZMA_OK;
  }
  uint16_t method() const override { return kMethodXz; }
};
#endif

#ifdef EXTRACTOR_PACK_ZSTD
// One Zstandard frame with its checksum; the level is libzstd's own level
// (1 to 9 of its 1 to 19).
class ZstdCompressor : public Compressor {
 public:
  explicit ZstdCompressor(int level) : context_(ZSTD_createCCtx()) {
    ok_ = context_ &&
          !ZSTD_isError(ZSTD_CCtx_setParameter(context_, ZSTD_c_compressionLevel, level)) &&
          !ZSTD_isError(ZSTD_CCtx_setParameter(context_, ZSTD_c_checksumFlag, 1));
  }
  ~ZstdCompressor() override { ZSTD_freeCCtx(context_); }
  bool ok() const { return ok_; }
  uint16_t method() const override { return kMethodZstd; }

  Error run(const uint8_t* data, size_t size, bool finish, Spool& spool) override {
    ZSTD_inBuffer in{data, size, 0};
    for (;;) {
      ZSTD_outBuffer out{out_, sizeof out_, 0};
      const size_t left =
          ZSTD_compressStream2(context_, &out, &in, finish ? ZSTD_e_end : ZSTD_e_continue);
      if (ZSTD_isError(left)) return std::string("libzstd failed to compress");
      if (Error e = spool.append(out_, out.pos)) return e;
      // Finishing ends once the frame is out; otherwise once the input is
      // taken (libzstd keeps what it has not yet written).
      if (finish ? left == 0 : in.pos == in.size) return std::nullopt;
    }
  }

 private:
  ZSTD_CCtx* context_;
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
    case Method::Xz:
#ifdef EXTRACTOR_PACK_LZMA
      return true;
#else
      return false;
#endif
    case Method::Zstd:
#ifdef EXTRACTOR_PACK_ZSTD
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
    case Method::Xz:
      return started(std::make_unique<XzCompressor>(level), "liblzma", problem);
#endif
#ifdef EXTRACTOR_PACK_ZSTD
    case Method::Zstd:
      return started(std::make_unique<ZstdCompressor>(level), "libzstd", problem);
#endif
    default:
      problem = "this extractor-pack was built without the method's library";
      return nullptr;
  }
}

}  // namespace extractor::pack
