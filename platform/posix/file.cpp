// Stands in for the Win32 file calls on Linux: the same dispositions and
// sharing (none is enforced), paths turned from UTF-16 into UTF-8 with "\"
// as a folder separator.
#include "platform/file.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>

#include "platform/posix/native_path.h"

namespace extractor::platform {
namespace {

int lastFailure = 0;  // errno of the latest failed open, write or mkdir

// Keeps errno of a failed call; false, for the caller to return.
bool failed() {
  lastFailure = errno;
  return false;
}

int fdOf(FileHandle file) {
  return static_cast<int>(reinterpret_cast<intptr_t>(file)) - 1;
}

FileHandle handleOf(int fd) {
  return reinterpret_cast<FileHandle>(static_cast<intptr_t>(fd) + 1);
}

int accessFlags(FileAccess access) {
  switch (access) {
    case FileAccess::Write:
      return O_WRONLY;
    case FileAccess::ReadWrite:
      return O_RDWR;
    case FileAccess::None:
    case FileAccess::Read:
      break;
  }
  return O_RDONLY;
}

int openFlags(FileAccess access, Disposition disposition) {
  int flags = accessFlags(access);
  switch (disposition) {
    case Disposition::OpenAlways:
      return flags | O_CREAT;
    case Disposition::CreateAlways:
      // Emptying needs write access, which CREATE_ALWAYS implies on Windows.
      return (flags == O_RDONLY ? O_RDWR : flags) | O_CREAT | O_TRUNC;
    case Disposition::CreateNew:
      return flags | O_CREAT | O_EXCL;
    case Disposition::OpenExisting:
      break;
  }
  return flags;
}

}  // namespace

FileHandle openFile(const std::u16string& path, FileAccess access, Disposition disposition) {
  std::string native = nativePath(path);
  int flags = openFlags(access, disposition);
  int fd = ::open(native.c_str(), flags | O_CLOEXEC, 0666);
  if (fd < 0) {
    failed();
    return nullptr;
  }
  // A folder is no file here. Opens that create or write refuse a folder
  // themselves (EISDIR); only a plain read-only open needs the look.
  struct stat st;
  if ((flags & (O_CREAT | O_ACCMODE)) == O_RDONLY && (fstat(fd, &st) != 0 || S_ISDIR(st.st_mode))) {
    ::close(fd);
    return nullptr;
  }
  return handleOf(fd);
}

void closeFile(FileHandle file) {
  if (file) ::close(fdOf(file));
}

void readFile(FileHandle file, uint64_t offset, void* buffer, uint32_t count, bool) {
  auto* out = static_cast<char*>(buffer);
  off_t at = static_cast<off_t>(offset);
  while (count > 0) {
    ssize_t got = pread(fdOf(file), out, count, at);
    if (got <= 0) return;
    out += got;
    at += got;
    count -= static_cast<uint32_t>(got);
  }
}

bool writeFile(FileHandle file, uint64_t offset, const void* buffer, uint32_t count) {
  if (!file) return false;
  auto* in = static_cast<const char*>(buffer);
  off_t at = static_cast<off_t>(offset);
  while (count > 0) {
    ssize_t put = pwrite(fdOf(file), in, count, at);
    if (put < 0) return failed();
    if (put == 0) return false;
    in += put;
    at += put;
    count -= static_cast<uint32_t>(put);
  }
  return true;
}

uint64_t fileSize(FileHandle file) {
  struct stat st;
  if (fstat(fdOf(file), &st) != 0) return 0;
  return static_cast<uint64_t>(st.st_size);
}

bool emptyFile(FileHandle file) {
  return file && ftruncate(fdOf(file), 0) == 0;
}

bool deleteFile(const std::u16string& path) {
  return ::unlink(nativePath(path).c_str()) == 0;
}

bool createFolder(const std::u16string& path) {
  std::string native = nativePath(path);
  if (::mkdir(native.c_str(), 0777) == 0) return true;
  int reason = errno;
  struct stat st;
  if (reason == EEXIST && ::stat(native.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return true;
  errno = reason;
  return failed();
}

bool createFolders(const std::u16string& path, size_t existing) {
  if (existing == 0 && !path.empty() && (path[0] == u'/' || path[0] == u'\\')) existing = 1;
  std::string base = nativePath(path.substr(0, existing));
  int parent = ::open(base.empty() ? "." : base.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (parent < 0) return failed();
  std::string rest = nativePath(path.substr(existing));
  bool made = true;
  for (size_t begin = 0, end; made && (end = rest.find('/', begin)) != std::string::npos;
       begin = end + 1) {
    if (end == begin) continue;
    std::string name = rest.substr(begin, end - begin);
    if (::mkdirat(parent, name.c_str(), 0777) != 0 && errno != EEXIST) {
      made = failed();
      break;
    }
    int child = ::openat(parent, name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (child < 0) {
      if (errno == ENOTDIR) errno = EEXIST;  // a file stands where the folder goes
      made = failed();
    }
    ::close(parent);
    parent = child;
  }
  if (parent >= 0) ::close(parent);
  return made;
}

PathKind pathKind(const std::u16string& path) {
  struct stat st;
  if (::stat(nativePath(path).c_str(), &st) != 0) {
    return errno == ENOENT || errno == ENOTDIR ? PathKind::Missing : PathKind::File;
  }
  return S_ISDIR(st.st_mode) ? PathKind::Folder : PathKind::File;
}

bool pathFits(const std::u16string& path) {
  if (nativePath(path).size() < PATH_MAX) return true;
  errno = ENAMETOOLONG;
  return failed();
}

FileFailure lastFileFailure() {
  switch (lastFailure) {
    case ENOSPC:
    case EDQUOT:
      return FileFailure::DiskFull;
    case ETXTBSY:
      return FileFailure::InUse;
  }
  return FileFailure::Other;
}

std::string lastFileFailureText() {
  return lastFailure ? std::strerror(lastFailure) : "";
}

bool setLastWriteTime(const std::u16string& path, uint64_t fileTime) {
  std::string native = nativePath(path);
  int fd = ::open(native.c_str(), O_WRONLY | O_CLOEXEC);
  if (fd < 0) return false;
  bool ok = setLastWriteTime(handleOf(fd), fileTime);
  ::close(fd);
  return ok;
}

bool setLastWriteTime(FileHandle file, uint64_t fileTime) {
  if (!file) return false;
  // FILETIME counts 100 ns from 1601; Unix time counts from 1970.
  constexpr int64_t kEpochDifference = 116444736000000000;
  int64_t sinceUnix = static_cast<int64_t>(fileTime) - kEpochDifference;
  int64_t seconds = sinceUnix / 10000000;
  int64_t rest = sinceUnix % 10000000;
  if (rest < 0) {
    rest += 10000000;
    seconds -= 1;
  }
  struct timespec times[2];
  times[0].tv_sec = 0;
  times[0].tv_nsec = UTIME_OMIT;
  times[1].tv_sec = static_cast<time_t>(seconds);
  times[1].tv_nsec = static_cast<long>(rest * 100);
  return futimens(fdOf(file), times) == 0;
}

bool isNT() {
  return true;
}

}  // namespace extractor::platform
