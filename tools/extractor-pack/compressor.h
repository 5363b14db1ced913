// The packer's compressors: zlib's deflate, libbz2, liblzma (LZMA and xz)
// and libzstd, each fed a file chunk by chunk and writing what it makes to
// the spool.
#pragma once

#include <cstdint>
#include <memory>

#include "inputs.h"
#include "options.h"
#include "spool.h"

namespace extractor::pack {

class Compressor {
 public:
  virtual ~Compressor() = default;
  // Compresses data (finishing the stream when finish is set) into spool.
  virtual Error run(const uint8_t* data, size_t size, bool finish, Spool& spool) = 0;
  virtual uint16_t method() const = 0;
  // General purpose flags the method's data need.
  virtual uint16_t flags() const { return 0; }
};

// Absent with problem set when the library refuses to start or is not
// built in.
std::unique_ptr<Compressor> makeCompressor(Method method, int level, std::string& problem);

// Whether this packer was built with the method's library.
bool methodAvailable(Method method);

}  // namespace extractor::pack
