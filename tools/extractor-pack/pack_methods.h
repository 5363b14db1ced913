// The methods the packer compresses with, one row each: the name --method
// takes, the ZIP method number and the format version its entries need.
#pragma once

#include <cstdint>
#include <string>

#include "engine/zip_format.h"

namespace extractor::pack {

enum class Method { Deflate, Bzip2, Lzma, Zstd, Xz };

struct PackMethod {
  Method method;
  const char* name;
  uint16_t number;
  uint16_t version;  // needed to extract: 2.0, 4.6 (bzip2) or 6.3 (LZMA, Zstandard, xz)
};

inline constexpr PackMethod kPackMethods[] = {
    {Method::Deflate, "deflate", kMethodDeflated, 20},
    {Method::Bzip2, "bzip2", kMethodBzip2, 46},
    {Method::Lzma, "lzma", kMethodLzma, 63},
    {Method::Zstd, "zstd", kMethodZstd, 63},
    {Method::Xz, "xz", kMethodXz, 63},
};

// The row --method names, or nullptr.
inline const PackMethod* findPackMethod(const std::string& name) {
  for (const PackMethod& row : kPackMethods) {
    if (name == row.name) return &row;
  }
  return nullptr;
}

// "deflate, bzip2, lzma, zstd or xz".
inline std::string packMethodNames() {
  std::string names;
  const size_t count = sizeof kPackMethods / sizeof kPackMethods[0];
  for (size_t i = 0; i < count; ++i) {
    if (i > 0) names += i + 1 == count ? " or " : ", ";
    names += kPackMethods[i].name;
  }
  return names;
}

}  // namespace extractor::pack
