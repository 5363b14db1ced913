#include "app/system_libraries.h"

#include <commctrl.h>
#include <shlobj.h>

#include "app/shell_text.h"

namespace extractor::app {
namespace {

using SetDefaultDllDirectoriesCall = BOOL(WINAPI*)(DWORD);
using InitCommonControlsExCall = BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*);
using InitCommonControlsCall = void(WINAPI*)();
using BrowseCall = PIDLIST_ABSOLUTE(WINAPI*)(BROWSEINFOW*);
using PathFromListCall = BOOL(WINAPI*)(PCIDLIST_ABSOLUTE, wchar_t*);
using CoInitializeExCall = HRESULT(WINAPI*)(void*, DWORD);
using CoTaskMemFreeCall = void(WINAPI*)(void*);

// Resolves a function of a library by its name; the cast from the generic
// function pointer is how GetProcAddress is meant to be used.
template <typename Call>
Call functionOf(HMODULE library, const char* name) {
  if (library == nullptr) return nullptr;
  return reinterpret_cast<Call>(reinterpret_cast<void*>(GetProcAddress(library, name)));
}

// Loads name from the system folder. Systems without the search flags
// refuse the flag; the full path in the system folder then does the same.
HMODULE loadSystemLibrary(const wchar_t* name) {
  HMODULE library = LoadLibraryExW(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
  if (library != nullptr) return library;
  wchar_t path[kPathCapacity];
  UINT length = GetSystemDirectoryW(path, kPathCapacity);
  if (length == 0 || length >= kPathCapacity) return nullptr;
  AppendTruncated(path, kPathCapacity, L"\\");
  AppendTruncated(path, kPathCapacity, name);
  return LoadLibraryExW(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

struct ShellCalls {
  BrowseCall browse = nullptr;
  PathFromListCall pathFromList = nullptr;
  CoTaskMemFreeCall freeMemory = nullptr;
};

// shell32 and ole32 are needed only when the user browses.
const ShellCalls& shellCalls() {
  static ShellCalls calls;
  static bool loaded = false;
  if (loaded) return calls;
  loaded = true;
  HMODULE ole = loadSystemLibrary(L"ole32.dll");
  HMODULE shell = loadSystemLibrary(L"shell32.dll");
  auto initialize = functionOf<CoInitializeExCall>(ole, "CoInitializeEx");
  if (initialize) initialize(nullptr, COINIT_APARTMENTTHREADED);
  calls.freeMemory = functionOf<CoTaskMemFreeCall>(ole, "CoTaskMemFree");
  calls.browse = functionOf<BrowseCall>(shell, "SHBrowseForFolderW");
  calls.pathFromList = functionOf<PathFromListCall>(shell, "SHGetPathFromIDListW");
  return calls;
}

}  // namespace

HMODULE LoadSystemLibrary(const wchar_t* name) {
  return loadSystemLibrary(name);
}

void RestrictDllSearch() {
  HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
  auto restrict = functionOf<SetDefaultDllDirectoriesCall>(kernel, "SetDefaultDllDirectories");
  if (restrict) restrict(LOAD_LIBRARY_SEARCH_SYSTEM32);
}

void LoadSystemLibraries() {
  loadSystemLibrary(L"ole32.dll");
  HMODULE library = loadSystemLibrary(L"comctl32.dll");
  auto initEx = functionOf<InitCommonControlsExCall>(library, "InitCommonControlsEx");
  if (initEx) {
    INITCOMMONCONTROLSEX classes{sizeof(classes), ICC_PROGRESS_CLASS};
    initEx(&classes);
    return;
  }
  auto initOld = functionOf<InitCommonControlsCall>(library, "InitCommonControls");
  if (initOld) initOld();
}

bool BrowseForFolder(HWND owner, const wchar_t* title, wchar_t* path) {
  const ShellCalls& calls = shellCalls();
  if (!calls.browse || !calls.pathFromList) return false;
  wchar_t displayName[kPathCapacity] = {};
  BROWSEINFOW info{};
  info.hwndOwner = owner;
  info.pszDisplayName = displayName;
  info.lpszTitle = title;
  info.ulFlags = BIF_RETURNONLYFSDIRS;
  PIDLIST_ABSOLUTE item = calls.browse(&info);
  if (item == nullptr) return false;
  path[0] = L'\0';
  BOOL ok = calls.pathFromList(item, path);
  if (calls.freeMemory) calls.freeMemory(item);
  return ok && path[0] != L'\0';
}

}  // namespace extractor::app
