// Files as the operating system sees them: a thin, handle-based mirror of
// the system calls under the stream layer, which keeps one handle per
// stream while the stream is bound to its file.
#pragma once

#include <cstdint>
#include <string>

namespace extractor::platform {

// An open file; null when an open failed.
using FileHandle = void*;

enum class FileAccess {
  None,       // query only: size and existence
  Read,       // GENERIC_READ
  Write,      // GENERIC_WRITE
  ReadWrite,  // both
};

// The values match the stream's OpenMode.
enum class Disposition : int32_t {
  OpenAlways = 1,    // open, creating a missing file
  OpenExisting = 2,  // open only a file that exists
  CreateAlways = 3,  // create, emptying an existing file
  CreateNew = 4,     // create only a file that does not exist yet
};

// Paths are the engine's UTF-16 text, handed to the system as they are:
// to the wide-character calls on Windows, as UTF-8 on Linux. No code page
// stands between a name and its file. Shared for reading and writing;
// never overlapped.
FileHandle openFile(const std::u16string& path, FileAccess access, Disposition disposition);
void closeFile(FileHandle file);

// Reads count bytes at offset; waits alertably for completion when asked.
// Nothing tells how much was transferred: bytes past the end of the file
// keep whatever the buffer held.
void readFile(FileHandle file, uint64_t offset, void* buffer, uint32_t count, bool wait);

// Writes count bytes at offset; false when the write call fails.
bool writeFile(FileHandle file, uint64_t offset, const void* buffer, uint32_t count);

uint64_t fileSize(FileHandle file);

// Cuts an open file to nothing; false when it cannot be.
bool emptyFile(FileHandle file);

bool deleteFile(const std::u16string& path);

// Creates one folder. True when the folder is there afterwards: made now,
// or there already.
bool createFolder(const std::u16string& path);

// Creates the folder levels of path ("\" or "/" between them) behind its
// first `existing` units, which name a folder that is there: each level is
// made inside the one before it, so a deep path costs one step a level
// rather than a walk from the root for every level, which takes minutes
// for a thousand levels. Nothing after the last separator is made. Stops at
// the first level that cannot be made; true when all are there afterwards.
bool createFolders(const std::u16string& path, size_t existing);

// What a path names, as far as a user given a wrong one needs to know.
enum class PathKind { Missing, File, Folder };
PathKind pathKind(const std::u16string& path);

// True when the system can take path in its file calls: 32,767 UTF-16
// units in its full "\\?\" form on Windows, PATH_MAX bytes on Linux.
bool pathFits(const std::u16string& path);

// Why a file call failed, as far as it decides the message a user reads.
enum class FileFailure {
  Other,
  DiskFull,  // no room left on the volume, or the user's quota is used up
  InUse,     // locked by another program: a sharing violation, a running program
};

// The reason of the latest failed open, write, folder creation or path
// that does not fit. A run's
// file calls are made on one thread, so the one kept is that run's.
FileFailure lastFileFailure();

// The system's own words for that failure (UTF-8, one line); empty when
// no call has failed.
std::string lastFileFailureText();

// Sets a file's last-write time (100-ns intervals since 1601-01-01 UTC),
// keeping its other times. False when the file cannot be opened.
bool setLastWriteTime(const std::u16string& path, uint64_t fileTime);

// The same through a handle open for writing, which saves an open and keeps
// the file from being looked at once more between its last write and the
// time stamp.
bool setLastWriteTime(FileHandle file, uint64_t fileTime);

// True on an NT-family system, where reads and writes are issued
// asynchronously with a completion routine.
bool isNT();

}  // namespace extractor::platform
