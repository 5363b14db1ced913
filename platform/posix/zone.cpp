// Linux keeps no streams beside a file's data. This stands in for them as
// Wine does: the stream "name:Zone.Identifier" is the file of that name in
// the same folder.
#include "platform/zone.h"

#include <fcntl.h>
#include <unistd.h>

#include "platform/posix/native_path.h"

namespace extractor::platform {
namespace {

constexpr size_t kMostRead = 64 * 1024;

std::string streamPath(const std::u16string& path) {
  return nativePath(path) + ":Zone.Identifier";
}

}  // namespace

std::string readZoneIdentifier(const std::u16string& path) {
  int fd = ::open(streamPath(path).c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return {};
  std::string text(kMostRead, '\0');
  size_t got = 0;
  while (got < kMostRead) {
    ssize_t n = ::read(fd, text.data() + got, kMostRead - got);
    if (n <= 0) break;
    got += static_cast<size_t>(n);
  }
  ::close(fd);
  text.resize(got);
  return text;
}

bool writeZoneIdentifier(const std::u16string& path, const std::string& text) {
  int fd = ::open(streamPath(path).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) return false;
  bool ok = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  ::close(fd);
  return ok;
}

}  // namespace extractor::platform
