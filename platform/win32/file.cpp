#include "platform/file.h"

#include <windows.h>
#include <winternl.h>

#include "platform/win32/extended_path.h"
#include "platform/win32/failure_code.h"

namespace extractor::platform {
namespace {

DWORD lastFailure = 0;

// Keeps the system's error code of a failed call; false, for the caller to
// return.
bool failed() {
  lastFailure = GetLastError();
  return false;
}

VOID CALLBACK ignoreCompletion(DWORD, DWORD, LPOVERLAPPED) {}

DWORD accessRights(FileAccess access) {
  switch (access) {
    case FileAccess::Read:
      return GENERIC_READ;
    case FileAccess::Write:
      return GENERIC_WRITE;
    case FileAccess::ReadWrite:
      return GENERIC_READ | GENERIC_WRITE;
    case FileAccess::None:
      break;
  }
  return 0;
}

DWORD creationDisposition(Disposition disposition) {
  switch (disposition) {
    case Disposition::OpenAlways:
      return OPEN_ALWAYS;
    case Disposition::CreateAlways:
      return CREATE_ALWAYS;
    case Disposition::CreateNew:
      return CREATE_NEW;
    case Disposition::OpenExisting:
      break;
  }
  return OPEN_EXISTING;
}

LPCWSTR wide(const std::u16string& path) {
  return reinterpret_cast<LPCWSTR>(path.c_str());
}

HANDLE handleOf(FileHandle file) {
  return static_cast<HANDLE>(file);
}

void moveTo(HANDLE h, uint64_t offset) {
  LONG high = static_cast<LONG>(offset >> 32);
  SetFilePointer(h, static_cast<LONG>(offset), &high, FILE_BEGIN);
}

void setOffset(OVERLAPPED& record, uint64_t offset) {
  record.Offset = static_cast<DWORD>(offset);
  record.OffsetHigh = static_cast<DWORD>(offset >> 32);
}

}  // namespace

FileHandle openFile(const std::u16string& path, FileAccess access, Disposition disposition) {
  HANDLE h = CreateFileW(wide(extendedPath(path)), accessRights(access),
                         FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         creationDisposition(disposition), FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h != INVALID_HANDLE_VALUE) return h;
  failed();
  return nullptr;
}

void closeFile(FileHandle file) {
  if (file) CloseHandle(handleOf(file));
}

void readFile(FileHandle file, uint64_t offset, void* buffer, uint32_t count, bool wait) {
  HANDLE h = handleOf(file);
  moveTo(h, offset);
  if (!isNT()) {
    DWORD got = 0;
    ReadFile(h, buffer, count, &got, nullptr);
    return;
  }
  OVERLAPPED record{};
  setOffset(record, offset);
  ReadFileEx(h, buffer, count, &record, ignoreCompletion);
  // The handle is not overlapped, so the read has completed already; the
  // alertable wait lets the queued completion routine run while the record
  // is still alive.
  if (wait) WaitForSingleObjectEx(h, 10000, TRUE);
}

bool writeFile(FileHandle file, uint64_t offset, const void* buffer, uint32_t count) {
  HANDLE h = handleOf(file);
  moveTo(h, offset);
  if (!isNT()) {
    DWORD put = 0;
    return WriteFile(h, buffer, count, &put, nullptr) != 0 || failed();
  }
  OVERLAPPED record{};
  setOffset(record, offset);
  if (!WriteFileEx(h, buffer, count, &record, ignoreCompletion)) return failed();
  WaitForSingleObjectEx(h, 10000, TRUE);
  return true;
}

uint64_t fileSize(FileHandle file) {
  DWORD high = 0;
  DWORD low = GetFileSize(handleOf(file), &high);
  if (low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) return 0;
  return uint64_t{high} << 32 | low;
}

bool emptyFile(FileHandle file) {
  if (!file) return false;
  moveTo(handleOf(file), 0);
  return SetEndOfFile(handleOf(file)) != 0;
}

bool deleteFile(const std::u16string& path) {
  return DeleteFileW(wide(extendedPath(path))) != 0;
}

bool createFolder(const std::u16string& path) {
  std::u16string full = extendedPath(path);
  if (CreateDirectoryW(wide(full), nullptr)) return true;
  DWORD reason = GetLastError();
  DWORD attributes = GetFileAttributesW(wide(full));
  if (reason == ERROR_ALREADY_EXISTS && attributes != INVALID_FILE_ATTRIBUTES &&
      (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    return true;
  }
  SetLastError(reason);
  return failed();
}

namespace {

// Levels made inside their parent's handle go through the native call that
// takes a parent: ntdll is in every process already, so nothing is loaded.
struct NativeCalls {
  decltype(&NtCreateFile) createFile = nullptr;
  decltype(&RtlNtStatusToDosError) statusToError = nullptr;
  NativeCalls() {
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    if (!ntdll) return;
    createFile = reinterpret_cast<decltype(createFile)>(
        reinterpret_cast<void*>(GetProcAddress(ntdll, "NtCreateFile")));
    statusToError = reinterpret_cast<decltype(statusToError)>(
        reinterpret_cast<void*>(GetProcAddress(ntdll, "RtlNtStatusToDosError")));
  }
};

bool isSeparator(char16_t c) {
  return c == u'\\' || c == u'/';
}

// Makes (or opens) the folder name inside parent; null when it cannot be.
HANDLE folderInside(const NativeCalls& calls, HANDLE parent, std::u16string& name) {
  UNICODE_STRING text;
  text.Buffer = reinterpret_cast<PWSTR>(name.data());
  text.Length = static_cast<USHORT>(name.size() * sizeof(char16_t));
  text.MaximumLength = text.Length;
  OBJECT_ATTRIBUTES attributes;
  InitializeObjectAttributes(&attributes, &text, OBJ_CASE_INSENSITIVE, parent, nullptr);
  IO_STATUS_BLOCK io;
  HANDLE folder = nullptr;
  NTSTATUS status = calls.createFile(
      &folder, FILE_TRAVERSE | SYNCHRONIZE, &attributes, &io, nullptr, FILE_ATTRIBUTE_NORMAL,
      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, FILE_OPEN_IF,
      FILE_DIRECTORY_FILE | FILE_SYNCHRONOUS_IO_NONALERT, nullptr, 0);
  if (status >= 0) return folder;
  // A file stands where the folder goes: said as a full-path call says it.
  constexpr NTSTATUS kNotAFolder = static_cast<NTSTATUS>(0xC0000103);
  SetLastError(status == kNotAFolder ? ERROR_ALREADY_EXISTS : calls.statusToError(status));
  failed();
  return nullptr;
}

// One full path a level: where the native call is missing (not NT).
bool createLevelsOneByOne(const std::u16string& path, size_t existing) {
  for (size_t i = existing; i < path.size(); i++) {
    if (isSeparator(path[i]) && i > existing && !createFolder(path.substr(0, i))) return false;
  }
  return true;
}

}  // namespace

bool createFolders(const std::u16string& path, size_t existing) {
  static const NativeCalls calls;
  if (!calls.createFile || !calls.statusToError || existing == 0) {
    return createLevelsOneByOne(path, existing);
  }
  // The folder without its last separator, but a drive's root with it.
  std::u16string base = path.substr(0, existing);
  if (base.size() > 1 && isSeparator(base.back()) && base[base.size() - 2] != u':') base.pop_back();
  HANDLE parent = CreateFileW(wide(extendedPath(base)), FILE_TRAVERSE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (parent == INVALID_HANDLE_VALUE) return createLevelsOneByOne(path, existing);
  size_t begin = existing;
  for (size_t i = existing; parent && i < path.size(); i++) {
    if (!isSeparator(path[i])) continue;
    if (i > begin) {
      std::u16string name = path.substr(begin, i - begin);
      HANDLE child = folderInside(calls, parent, name);
      CloseHandle(parent);
      parent = child;
    }
    begin = i + 1;
  }
  if (!parent) return false;
  CloseHandle(parent);
  return true;
}

PathKind pathKind(const std::u16string& path) {
  DWORD attributes = GetFileAttributesW(wide(extendedPath(path)));
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    DWORD reason = GetLastError();
    return reason == ERROR_FILE_NOT_FOUND || reason == ERROR_PATH_NOT_FOUND ? PathKind::Missing
                                                                            : PathKind::File;
  }
  return attributes & FILE_ATTRIBUTE_DIRECTORY ? PathKind::Folder : PathKind::File;
}

bool pathFits(const std::u16string& path) {
  constexpr size_t kLongestPath = 32767;
  if (extendedPath(path).size() <= kLongestPath) return true;
  SetLastError(ERROR_FILENAME_EXCED_RANGE);
  return failed();
}

unsigned long lastFailureCode() {
  return lastFailure;
}

FileFailure lastFileFailure() {
  switch (lastFailure) {
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return FileFailure::DiskFull;
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
      return FileFailure::InUse;
  }
  return FileFailure::Other;
}

bool setLastWriteTime(const std::u16string& path, uint64_t fileTime) {
  HANDLE h = CreateFileW(wide(extendedPath(path)), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  bool ok = setLastWriteTime(h, fileTime);
  CloseHandle(h);
  return ok;
}

bool setLastWriteTime(FileHandle file, uint64_t fileTime) {
  if (!file) return false;
  FILETIME written;
  written.dwLowDateTime = static_cast<DWORD>(fileTime);
  written.dwHighDateTime = static_cast<DWORD>(fileTime >> 32);
  // Null times stay as they are. Once set through a handle, the last-write
  // time is no longer moved by that handle's writes or its close.
  return SetFileTime(handleOf(file), nullptr, nullptr, &written) != 0;
}

bool isNT() {
  static const bool nt = [] {
    OSVERSIONINFOA info{};
    info.dwOSVersionInfoSize = 148;
    GetVersionExA(&info);
    return (info.dwPlatformId & 2) != 0;
  }();
  return nt;
}

}  // namespace extractor::platform
