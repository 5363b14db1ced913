#include "reference_codecs.h"

#include <bzlib.h>
#include <lzma.h>
#include <zstd.h>

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>
#include <string>

namespace extractor::testing {

Bytes bzip2Compress(const Bytes& data, int level) {
  unsigned size = static_cast<unsigned>(data.size() + data.size() / 50 + 1024);
  Bytes out(size);
  char nothing = 0;  // libbz2 refuses a null source, also of no bytes
  char* source =
      data.empty() ? &nothing : const_cast<char*>(reinterpret_cast<const char*>(data.data()));
  if (BZ2_bzBuffToBuffCompress(reinterpret_cast<char*>(out.data()), &size, source,
                               static_cast<unsigned>(data.size()), level, 0, 0) != BZ_OK) {
    throw std::runtime_error("libbz2 compression failed");
  }
  out.resize(size);
  return out;
}

std::optional<Bytes> bzip2Reference(const Bytes& stream, Bytes* partial) {
  Bytes out;
  size_t pos = 0;
  do {
    bz_stream s = {};
    if (BZ2_bzDecompressInit(&s, 0, 0) != BZ_OK) return std::nullopt;
    s.next_in = const_cast<char*>(reinterpret_cast<const char*>(stream.data() + pos));
    s.avail_in = static_cast<unsigned>(stream.size() - pos);
    int result = BZ_OK;
    char buffer[65536];
    while (result == BZ_OK) {
      s.next_out = buffer;
      s.avail_out = sizeof buffer;
      result = BZ2_bzDecompress(&s);
      out.insert(out.end(), buffer, buffer + (sizeof buffer - s.avail_out));
      if (result == BZ_OK && s.avail_in == 0 && s.avail_out != 0) result = BZ_UNEXPECTED_EOF;
    }
    pos = stream.size() - s.avail_in;
    BZ2_bzDecompressEnd(&s);
    if (partial) *partial = out;
    if (result != BZ_STREAM_END) return std::nullopt;
  } while (pos < stream.size());
  return out;
}

Bytes lzmaCompress(const Bytes& data, const LzmaOptions& options) {
  lzma_options_lzma o;
  lzma_lzma_preset(&o, static_cast<uint32_t>(options.preset));
  if (options.lc >= 0) o.lc = static_cast<uint32_t>(options.lc);
  if (options.lp >= 0) o.lp = static_cast<uint32_t>(options.lp);
  if (options.pb >= 0) o.pb = static_cast<uint32_t>(options.pb);
  o.ext_flags = 0;
  o.ext_size_low = o.ext_size_high = 0;
  lzma_filter filters[2] = {{options.endMarker ? LZMA_FILTER_LZMA1 : LZMA_FILTER_LZMA1EXT, &o},
                            {LZMA_VLI_UNKNOWN, nullptr}};
  Bytes out(data.size() + data.size() / 8 + 1024);
  lzma_stream s = LZMA_STREAM_INIT;
  if (lzma_raw_encoder(&s, filters) != LZMA_OK) throw std::runtime_error("liblzma options");
  s.next_in = data.data();
  s.avail_in = data.size();
  s.next_out = out.data() + 9;
  s.avail_out = out.size() - 9;
  if (lzma_code(&s, LZMA_FINISH) != LZMA_STREAM_END) throw std::runtime_error("liblzma failed");
  out.resize(9 + s.total_out);
  lzma_end(&s);
  filters[0].id = LZMA_FILTER_LZMA1;
  out[0] = 9;
  out[1] = 20;
  out[2] = 5;
  out[3] = 0;
  if (lzma_properties_encode(filters, out.data() + 4) != LZMA_OK) {
    throw std::runtime_error("liblzma properties");
  }
  return out;
}

// Everything a started liblzma decoder makes of `size` bytes at `in`, up to
// 64 MiB; nothing when it fails. Ends the decoder.
static std::optional<Bytes> drain(lzma_stream& s, const uint8_t* in, size_t size) {
  Bytes out;
  s.next_in = in;
  s.avail_in = size;
  uint8_t buffer[65536];
  lzma_ret result = LZMA_OK;
  while (result == LZMA_OK) {
    s.next_out = buffer;
    s.avail_out = sizeof buffer;
    result = lzma_code(&s, LZMA_FINISH);
    out.insert(out.end(), buffer, buffer + (sizeof buffer - s.avail_out));
    if (out.size() > (size_t{64} << 20)) result = LZMA_DATA_ERROR;
  }
  lzma_end(&s);
  if (result != LZMA_STREAM_END) return std::nullopt;
  return out;
}

std::optional<Bytes> lzmaReference(const Bytes& stream, uint32_t size, bool endMarker) {
  // The ZIP header names 5 bytes of properties; liblzma sees only them.
  if (stream.size() < 9 || stream[2] != 5 || stream[3] != 0) return std::nullopt;
  lzma_filter filters[2] = {{LZMA_FILTER_LZMA1EXT, nullptr}, {LZMA_VLI_UNKNOWN, nullptr}};
  if (lzma_properties_decode(filters, nullptr, stream.data() + 4, 5) != LZMA_OK) {
    return std::nullopt;
  }
  auto* o = static_cast<lzma_options_lzma*>(filters[0].options);
  // As ours: no more dictionary than the entry can use (liblzma would
  // allocate a stated 4 GiB).
  o->dict_size = std::min(o->dict_size, std::max<uint32_t>(size, 4096));
  if (endMarker) {
    o->ext_size_low = o->ext_size_high = UINT32_MAX;
  } else {
    o->ext_size_low = size;
    o->ext_size_high = 0;
  }
  o->ext_flags = 0;
  lzma_stream s = LZMA_STREAM_INIT;
  const lzma_ret started = lzma_raw_decoder(&s, filters);
  free(o);
  if (started != LZMA_OK) return std::nullopt;
  return drain(s, stream.data() + 9, stream.size() - 9);
}

Bytes xzCompress(const Bytes& data, const XzOptions& options) {
  lzma_options_lzma lzma2;
  const uint32_t preset =
      static_cast<uint32_t>(options.preset) | (options.extreme ? LZMA_PRESET_EXTREME : 0);
  if (lzma_lzma_preset(&lzma2, preset)) throw std::runtime_error("liblzma preset");
  lzma_options_bcj bcj{static_cast<uint32_t>(options.x86Start)};
  lzma_options_delta delta = {};
  delta.type = LZMA_DELTA_TYPE_BYTE;
  delta.dist = 1;
  lzma_filter filters[3] = {{LZMA_FILTER_LZMA2, &lzma2}, {LZMA_VLI_UNKNOWN, nullptr}};
  if (options.x86Start >= 0 || options.filterId != 0) {
    filters[2] = filters[1];
    filters[1] = filters[0];
    filters[0] = {options.x86Start >= 0 ? LZMA_FILTER_X86 : options.filterId,
                  options.filterId == LZMA_FILTER_DELTA ? static_cast<void*>(&delta)
                  : options.x86Start >= 0               ? static_cast<void*>(&bcj)
                                                        : nullptr};
  }
  lzma_stream s = LZMA_STREAM_INIT;
  lzma_ret started;
  if (options.blockSize) {
    lzma_mt mt = {};
    mt.threads = 1;
    mt.block_size = options.blockSize;
    mt.filters = filters;
    mt.check = static_cast<lzma_check>(options.check);
    started = lzma_stream_encoder_mt(&s, &mt);
  } else {
    started = lzma_stream_encoder(&s, filters, static_cast<lzma_check>(options.check));
  }
  if (started != LZMA_OK) throw std::runtime_error("liblzma xz options");
  Bytes out(data.size() + data.size() / 8 + 4096);
  s.next_in = data.data();
  s.avail_in = data.size();
  s.next_out = out.data();
  s.avail_out = out.size();
  if (lzma_code(&s, LZMA_FINISH) != LZMA_STREAM_END) throw std::runtime_error("liblzma xz failed");
  out.resize(s.total_out);
  lzma_end(&s);
  return out;
}

Bytes lzma2Compress(const Bytes& data, int preset) {
  lzma_options_lzma o;
  lzma_lzma_preset(&o, static_cast<uint32_t>(preset));
  lzma_filter filters[2] = {{LZMA_FILTER_LZMA2, &o}, {LZMA_VLI_UNKNOWN, nullptr}};
  Bytes out(data.size() + data.size() / 8 + 1024);
  size_t size = 0;
  if (lzma_raw_buffer_encode(filters, nullptr, data.data(), data.size(), out.data(), &size,
                             out.size()) != LZMA_OK) {
    throw std::runtime_error("liblzma LZMA2 failed");
  }
  out.resize(size);
  return out;
}

Bytes zstdCompress(const Bytes& data, const ZstdOptions& options) {
  ZSTD_CCtx* cctx = ZSTD_createCCtx();
  ZSTD_CCtx_setParameter(cctx, ZSTD_c_compressionLevel, options.level);
  ZSTD_CCtx_setParameter(cctx, ZSTD_c_checksumFlag, options.checksum);
  ZSTD_CCtx_setParameter(cctx, ZSTD_c_contentSizeFlag, options.contentSize);
  ZSTD_CCtx_setParameter(cctx, ZSTD_c_windowLog, options.windowLog);
  Bytes out(ZSTD_compressBound(data.size()));
  ZSTD_inBuffer in{data.data(), data.size(), 0};
  ZSTD_outBuffer to{out.data(), out.size(), 0};
  // Streamed, the frame's content size stays unknown unless set.
  if (options.contentSize) ZSTD_CCtx_setPledgedSrcSize(cctx, data.size());
  const size_t left = ZSTD_compressStream2(cctx, &to, &in, ZSTD_e_end);
  ZSTD_freeCCtx(cctx);
  if (left != 0) throw std::runtime_error("libzstd compression failed");
  out.resize(to.pos);
  return out;
}

std::optional<Bytes> zstdReference(const Bytes& stream, size_t capacity) {
  Bytes out(capacity + 1);  // libzstd wants a buffer, also for nothing
  const size_t size = ZSTD_decompress(out.data(), capacity, stream.data(), stream.size());
  if (ZSTD_isError(size)) return std::nullopt;
  out.resize(size);
  return out;
}

std::optional<Bytes> xzReference(const Bytes& stream) {
  lzma_stream s = LZMA_STREAM_INIT;
  if (lzma_stream_decoder(&s, UINT64_MAX, LZMA_CONCATENATED) != LZMA_OK) return std::nullopt;
  return drain(s, stream.data(), stream.size());
}

std::optional<Bytes> ppmdCompress(const Bytes& data, const PpmdOptions& options) {
  namespace fs = std::filesystem;
  const fs::path dir = fs::temp_directory_path() / ("ppmd-7z-" + std::to_string(getpid()));
  fs::remove_all(dir);
  fs::create_directories(dir);
  std::ofstream(dir / "data.bin", std::ios::binary)
      .write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
  const std::string method = "PPMd:o=" + std::to_string(options.order) +
                             ":mem=" + std::to_string(options.memoryMiB) +
                             "m:a=" + std::to_string(options.restore);
  const std::string command = "cd " + dir.string() + " && 7z a -bd -tzip -mmt=1 -m0=" + method +
                              " data.zip data.bin >/dev/null 2>&1";
  Bytes zip;
  if (std::system(command.c_str()) == 0) {
    std::ifstream in(dir / "data.zip", std::ios::binary);
    zip.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  fs::remove_all(dir);
  // The first local header, which 7z writes with the sizes.
  auto load = [&](size_t at, unsigned n) {
    uint32_t v = 0;
    for (unsigned i = n; i-- > 0;) v = v << 8 | zip[at + i];
    return v;
  };
  if (zip.size() < 30 || load(0, 4) != 0x04034b50 || load(8, 2) != 98) return std::nullopt;
  const size_t start = 30 + load(26, 2) + load(28, 2);
  const size_t size = load(18, 4);
  if (start + size > zip.size()) return std::nullopt;
  return Bytes(zip.begin() + static_cast<std::ptrdiff_t>(start),
               zip.begin() + static_cast<std::ptrdiff_t>(start + size));
}

Bytes randomBytes(size_t size, uint32_t seed) {
  std::mt19937 rng(seed);
  Bytes b(size);
  for (auto& x : b) x = static_cast<uint8_t>(rng());
  return b;
}

Bytes textBytes(size_t size, uint32_t seed) {
  static const char* const kWords[] = {"the",  "block", "stream",  "of", "and",    "a",
                                       "dict", "range", "match",   "is", "symbol", "run",
                                       "tree", "code",  "literal", "end"};
  std::mt19937 rng(seed);
  std::string s;
  while (s.size() < size) {
    s += kWords[rng() % 16];
    s += rng() % 9 ? " " : rng() % 2 ? ".\n" : std::to_string(rng() % 1000) + ", ";
  }
  return Bytes(s.begin(), s.begin() + static_cast<std::ptrdiff_t>(size));
}

Bytes binaryBytes(size_t size, uint32_t seed) {
  std::mt19937 rng(seed);
  Bytes b(size);
  for (size_t i = 0; i < size; ++i) {
    b[i] =
        i % 16 < 4 ? static_cast<uint8_t>(i >> 8) : static_cast<uint8_t>(rng() % (1 + i % 7 * 40));
  }
  return b;
}

Bytes runBytes(size_t size, uint32_t seed) {
  std::mt19937 rng(seed);
  Bytes b;
  while (b.size() < size) {
    const size_t length = rng() % 4 == 0 ? rng() % 5000 : rng() % 8;
    b.insert(b.end(), std::min(length, size - b.size()), static_cast<uint8_t>(rng() % 3));
  }
  return b;
}

Bytes x86Bytes(size_t size, uint32_t seed) {
  std::mt19937 rng(seed);
  Bytes b;
  while (b.size() < size) {
    const unsigned kind = rng() % 4;
    if (kind == 0) {
      // A call or jump to one of a few nearby targets, forwards or back.
      const int32_t target = static_cast<int32_t>(rng() % 64) * 256 - 8192;
      b.push_back(rng() % 5 ? 0xE8 : 0xE9);
      for (int i = 0; i < 4; ++i)
        b.push_back(static_cast<uint8_t>(static_cast<uint32_t>(target) >> 8 * i));
    } else {
      const uint8_t common[] = {0x48, 0x89, 0x8B, 0x0F, 0x00, 0xFF, 0xC3, 0x55, 0xE8};
      b.push_back(kind == 1 ? static_cast<uint8_t>(rng()) : common[rng() % sizeof common]);
    }
  }
  b.resize(size);
  return b;
}

std::vector<DataCase> dataCases() {
  return {{"empty", {}},
          {"one byte", {'x'}},
          {"random", randomBytes(200000, 1)},
          {"text", textBytes(1300000, 2)},
          {"binary", binaryBytes(400000, 3)},
          {"runs", runBytes(1500000, 4)}};
}

}  // namespace extractor::testing
