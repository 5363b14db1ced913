// libbz2, liblzma, libzstd and 7z as oracles: streams as ZIP entries hold them, and the
// libraries' own reading of a stream.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace extractor::testing {

using Bytes = std::vector<uint8_t>;

Bytes bzip2Compress(const Bytes& data, int level);
// Every stream of the input, as libbz2 reads concatenated streams;
// nothing when libbz2 finds an error or the input ends early. partial, when
// given, receives what libbz2 wrote either way.
std::optional<Bytes> bzip2Reference(const Bytes& stream, Bytes* partial = nullptr);

struct LzmaOptions {
  int preset = 6;
  bool endMarker = true;
  int lc = -1, lp = -1, pb = -1;  // -1: the preset's
};
// The ZIP form: version, properties size, properties, range-coded data.
Bytes lzmaCompress(const Bytes& data, const LzmaOptions& options);
// liblzma's reading of a ZIP-form stream of `size` bytes.
std::optional<Bytes> lzmaReference(const Bytes& stream, uint32_t size, bool endMarker);

struct XzOptions {
  int preset = 6;
  bool extreme = false;
  int check = 4;           // the check ID: 0 none, 1 CRC-32, 4 CRC-64, 10 SHA-256
  int64_t x86Start = -1;   // the x86 filter with this start offset; -1: none
  uint64_t blockSize = 0;  // several blocks of this size; 0: one block
  uint64_t filterId = 0;   // another filter before LZMA2, default properties
};
// A .xz stream.
Bytes xzCompress(const Bytes& data, const XzOptions& options);
// Raw LZMA2 data, ending with the end chunk.
Bytes lzma2Compress(const Bytes& data, int preset);
// liblzma's reading of concatenated .xz streams and their padding.
std::optional<Bytes> xzReference(const Bytes& stream);
struct ZstdOptions {
  int level = 3;
  bool checksum = false;
  bool contentSize = true;  // false: streamed, the size unknown to the frame
  int windowLog = 0;        // 0: the level's
};
Bytes zstdCompress(const Bytes& data, const ZstdOptions& options);
// libzstd's reading of all frames, into at most `capacity` bytes.
std::optional<Bytes> zstdReference(const Bytes& stream, size_t capacity);
struct PpmdOptions {
  unsigned order = 6;       // 2..16
  unsigned memoryMiB = 16;  // 7z takes no more than the data need
  unsigned restore = 0;     // 0 restart, 1 cut off when the memory fills
};
// The data of a ZIP entry 7z writes with PPMd (method 98); nothing when 7z
// is missing or stores the data instead.
std::optional<Bytes> ppmdCompress(const Bytes& data, const PpmdOptions& options);

// Test data of several kinds.
Bytes randomBytes(size_t size, uint32_t seed);
Bytes textBytes(size_t size, uint32_t seed);
Bytes binaryBytes(size_t size, uint32_t seed);
Bytes runBytes(size_t size, uint32_t seed);  // long runs of single bytes
Bytes x86Bytes(size_t size, uint32_t seed);  // calls and jumps among other bytes

struct DataCase {
  std::string name;
  Bytes data;
};
std::vector<DataCase> dataCases();

}  // namespace extractor::testing
