#include "platform/posix/native_path.h"

#include <algorithm>

#include "engine/utf8.h"

namespace extractor::platform {

std::string nativePath(const std::u16string& path) {
  std::string out = encodeUtf8(path);
  std::replace(out.begin(), out.end(), '\\', '/');
  return out;
}

}  // namespace extractor::platform
