#include "platform/posix/native_path.h"

#include "platform/posix/cp1252.h"

namespace extractor::platform {

std::string nativePath(const std::string& ansiPath) {
  std::string path = cp1252ToUtf8(ansiPath);
  for (char& c : path) {
    if (c == '\\') c = '/';
  }
  return path;
}

}  // namespace extractor::platform
