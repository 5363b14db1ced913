#include "app/installer.h"

#include <atomic>
#include <string>

#include "app/installer_text.h"
#include "app/resource_ids.h"
#include "app/shell.h"
#include "app/system_libraries.h"
#include "app/worker.h"
#include "engine/confine.h"
#include "engine/install_settings.h"

namespace extractor::app {
namespace {

constexpr DWORD kHeaderBytes = 4096;
constexpr int kFolderTries = 16;
constexpr int kRemoveTries = 50;
constexpr DWORD kRemovePauseMs = 100;
constexpr DWORD kTokenElevation = 20;  // TOKEN_INFORMATION_CLASS TokenElevation
// Administrators and the system only, inherited by everything below, the
// parent's entries not inherited.
constexpr wchar_t kAdministratorsOnly[] = L"D:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)";

// ASCII, widened when shown: the program carries it in half the bytes.
constexpr char kHelp[] =
    "/S: no window, no questions\n/D=FOLDER: the destination (the rest of the line)\n"
    "/?: this text\n\nExit codes with /S, a program to run or the start at once: 0, or the "
    "program's own; 536870913 bad settings, 536870914 error, 536870915 warnings, 536870916 "
    "cancelled, 536870917 the program did not start.";

struct InstallerState {
  bool active = false;       // the file carries settings or a switch was given
  bool reportsCode = false;  // /S, a program to run or the start at once
  InstallSettings settings;
  Switches switches;
  std::u16string caption;
  std::u16string destination;
  std::u16string temporaryFolder;  // made by this run, removed at its end
  std::u16string runRelative;      // the program below the destination, names mended
  std::u16string runArgs;
  std::atomic<bool> warnings{false};
  std::atomic<bool> programRunning{false};
  std::atomic<uint32_t> exitCode{kExitCancelled};
};

InstallerState state;

// The program's texts are UTF-16 throughout: char16_t for the engine and
// the C++ library, wchar_t for Windows.
const wchar_t* w(const std::u16string& text) {
  return reinterpret_cast<const wchar_t*>(text.c_str());
}

std::u16string u16(const wchar_t* text) {
  return reinterpret_cast<const char16_t*>(text);
}

std::u16string programPath() {
  wchar_t path[kPathCapacity] = {};
  GetModuleFileNameW(nullptr, path, kPathCapacity);
  return u16(path);
}

bool readAt(HANDLE file, uint64_t offset, std::string& bytes, DWORD most) {
  LARGE_INTEGER at;
  at.QuadPart = static_cast<LONGLONG>(offset);
  if (!SetFilePointerEx(file, at, nullptr, FILE_BEGIN)) return false;
  bytes.resize(most);
  DWORD read = 0;
  if (!ReadFile(file, &bytes[0], most, &read, nullptr)) return false;
  bytes.resize(read);
  return true;
}

// The bytes right behind the program's image, where the block sits.
std::string bytesBehindProgram(const std::u16string& path) {
  HANDLE file = CreateFileW(w(path), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return {};
  std::string headers, block;
  if (readAt(file, 0, headers, kHeaderBytes)) {
    uint64_t end = ProgramImageEnd(headers);
    if (end != 0) readAt(file, end, block, kMostSettingsBytes + 3);
  }
  CloseHandle(file);
  return block;
}

int message(const std::u16string& text, UINT kind) {
  return MessageBoxW(nullptr, w(text), w(state.caption), kind | MB_SETFOREGROUND);
}

// The caption of the window and of the installer's messages.
void composeCaption() {
  if (!state.settings.title.empty()) {
    state.caption = (state.settings.title);
    return;
  }
  wchar_t title[kTitleCapacity] = {};
  LoadStringW(GetModuleHandleW(nullptr), IDS_TITLE_PREFIX, title, kTitleCapacity);
  ComposeTitle(title, w(programPath()));
  state.caption = u16(title);
}

std::u16string expanded(const std::u16string& text) {
  wchar_t result[kPathCapacity] = {};
  DWORD length = ExpandEnvironmentStringsW(w(text), result, kPathCapacity);
  return length != 0 && length <= kPathCapacity ? u16(result) : text;
}

// The program to run must be one of the files the archive extracts, under
// the name it gets once mended.
bool findRunTarget(std::u16string& problem) {
  std::u16string program, args;
  SplitRunCommand(state.settings.run, program, args);
  state.runArgs = (args);
  std::u16string directory, file = program;
  size_t cut = program.find_last_of(u"\\/");
  if (cut != std::u16string::npos) {
    directory = program.substr(0, cut + 1);
    file = program.substr(cut + 1);
  }
  ConfineEntryPath(directory, file);
  std::u16string wanted = ComparablePath(directory + file);
  if (zip.ReadDirectory(programPath()) != 0) return true;  // shown when extracting
  bool found = false;
  for (const ZipEntry& entry : zip.entries) {
    std::u16string entryDirectory = entry.directoryName, entryFile = entry.fileName;
    ConfineEntryPath(entryDirectory, entryFile);
    if (entryFile.empty() || ComparablePath(entryDirectory + entryFile) != wanted) continue;
    state.runRelative = (entryDirectory + entryFile);
    found = true;
    break;
  }
  zip.Reset();
  if (!found) problem = u"the program to run, " + program + u", is not in the archive";
  return found;
}

using OpenTokenCall = BOOL(WINAPI*)(HANDLE, DWORD, HANDLE*);
using TokenInformationCall = BOOL(WINAPI*)(HANDLE, DWORD, void*, DWORD, DWORD*);
using DescriptorCall = BOOL(WINAPI*)(const wchar_t*, DWORD, PSECURITY_DESCRIPTOR*, ULONG*);
using RandomCall = BOOLEAN(WINAPI*)(void*, ULONG);

FARPROC advapi(const char* name) {
  HMODULE library = LoadSystemLibrary(L"advapi32.dll");
  return library ? GetProcAddress(library, name) : nullptr;
}

template <typename Call>
Call call(const char* name) {
  return reinterpret_cast<Call>(reinterpret_cast<void*>(advapi(name)));
}

bool elevated() {
  auto openToken = call<OpenTokenCall>("OpenProcessToken");
  auto information = call<TokenInformationCall>("GetTokenInformation");
  HANDLE token = nullptr;
  if (!openToken || !information || !openToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
    return false;
  }
  DWORD isElevated = 0, size = 0;
  BOOL ok = information(token, kTokenElevation, &isElevated, sizeof(isElevated), &size);
  CloseHandle(token);
  return ok && isElevated != 0;
}

// A new folder of an unpredictable name under base, made by this call and
// no earlier one: an existing folder of that name is never taken.
bool makeFreshFolder(const std::u16string& base, SECURITY_ATTRIBUTES* security) {
  auto random = call<RandomCall>("SystemFunction036");  // RtlGenRandom
  if (!random) return false;
  for (int i = 0; i < kFolderTries; i++) {
    uint8_t bytes[12];
    if (!random(bytes, sizeof(bytes))) return false;
    std::u16string name = u"extractor-";
    for (uint8_t b : bytes) {
      name += u"0123456789abcdef"[b >> 4];
      name += u"0123456789abcdef"[b & 15];
    }
    std::u16string path = JoinBelow(base, name);
    if (CreateDirectoryW(w(path), security)) {
      state.temporaryFolder = path;
      return true;
    }
    if (GetLastError() != ERROR_ALREADY_EXISTS) return false;
  }
  return false;
}

// Elevated, the folder goes where and as only administrators may write, so
// that no program of the user can swap the files before they are run.
bool makeTemporaryFolder() {
  wchar_t base[kPathCapacity] = {};
  if (!elevated()) {
    DWORD length = GetTempPathW(kPathCapacity, base);
    return length != 0 && length < kPathCapacity && makeFreshFolder(u16(base), nullptr);
  }
  auto toDescriptor = call<DescriptorCall>("ConvertStringSecurityDescriptorToSecurityDescriptorW");
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!toDescriptor || !toDescriptor(kAdministratorsOnly, 1, &descriptor, nullptr)) return false;
  SECURITY_ATTRIBUTES security{sizeof(security), descriptor, FALSE};
  UINT length = GetWindowsDirectoryW(base, kPathCapacity);
  bool made = length != 0 && length < kPathCapacity &&
              makeFreshFolder(JoinBelow(u16(base), u"Temp"), &security);
  LocalFree(descriptor);
  return made;
}

// Removes folder and everything below it; a link below is removed, not
// followed.
void removeTree(const std::u16string& folder) {
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW(w(JoinBelow(folder, u"*")), &found);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      std::u16string name = u16(found.cFileName);
      if (name == u"." || name == u"..") continue;
      std::u16string path = JoinBelow(folder, name);
      SetFileAttributesW(w(path), FILE_ATTRIBUTE_NORMAL);
      if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
        DeleteFileW(w(path));
      } else if (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
        RemoveDirectoryW(w(path));
      } else {
        removeTree(path);
      }
    } while (FindNextFileW(search, &found));
    FindClose(search);
  }
  RemoveDirectoryW(w(folder));
}

// Starts the program by its full path, without a shell and without a
// search, in the destination, and waits for it.
uint32_t runProgram(const std::u16string& destination) {
  wchar_t root[kPathCapacity] = {};
  DWORD length = GetFullPathNameW(w(destination), kPathCapacity, root, nullptr);
  if (length == 0 || length >= kPathCapacity) return kExitRunFailed;
  std::u16string path = JoinBelow(u16(root), state.runRelative);
  std::u16string line = RunCommandLine(path, state.runArgs);
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(w(path), reinterpret_cast<wchar_t*>(&line[0]), nullptr, nullptr, FALSE, 0,
                      nullptr, root, &startup, &process)) {
    return kExitRunFailed;
  }
  CloseHandle(process.hThread);
  state.programRunning = true;
  WaitForSingleObject(process.hProcess, INFINITE);
  state.programRunning = false;
  DWORD code = kExitRunFailed;
  GetExitCodeProcess(process.hProcess, &code);
  CloseHandle(process.hProcess);
  return code;
}

// The outcome of a run that ended with result, the program run after a
// success.
uint32_t outcome(Zip& zip, int32_t result, bool stopped) {
  uint32_t code = ExtractionExitCode(result, stopped, state.warnings.exchange(false));
  if (code != 0 || state.settings.run.empty()) return code;
  return runProgram(zip.destination);
}

class SilentWindow : public Window {
 public:
  void Refresh(Zip&) override {}
  void PumpMessages(Zip&) override {}
  // Nobody to ask: an entry that needs a password fails the run.
  void ShowPasswordDialog(Zip& zip) override { zip.abortRequest = -1; }
  void ShowWarningsDialog(Zip&) override { state.warnings = true; }
};

uint32_t runSilently() {
  SilentWindow window;
  zip.window = &window;
  int32_t result = zip.ReadDirectory(programPath());
  if (result == 0) {
    zip.busy = true;
    result = zip.ExtractAll(state.destination, -1, state.settings.overwrite ? -1 : 0, std::nullopt);
    zip.busy = false;
  }
  zip.destination = state.destination;
  uint32_t code = outcome(zip, result, false);
  zip.window = nullptr;
  return code;
}

// The settings and switches, checked; false with the exit code when the
// program ends here.
bool readInstaller(const char16_t* commandLineTail, int& exitCode) {
  state.switches = ParseSwitches(commandLineTail);
  std::u16string problem;
  bool parsed = ParseInstallSettings(bytesBehindProgram(programPath()), state.settings, problem);
  if (!parsed) state.settings.title.clear();  // a block that does not parse names nothing
  composeCaption();
  state.active = state.settings.present || state.switches.silent || state.switches.folderGiven ||
                 state.switches.help;
  if (parsed && !state.settings.run.empty() && !findRunTarget(problem)) parsed = false;
  if (!parsed) {
    if (!state.switches.silent) {
      message(u"The settings of this file cannot be used; nothing was extracted.\n" + (problem),
              MB_ICONERROR);
    }
    exitCode = static_cast<int>(kExitBadSettings);
    return false;
  }
  return true;
}

}  // namespace

bool PrepareInstaller(const wchar_t* commandLineTail, int& exitCode) {
  if (!readInstaller(reinterpret_cast<const char16_t*>(commandLineTail), exitCode)) return true;
  if (!state.active) return false;
  if (state.switches.help) {
    message(std::u16string(kHelp, kHelp + sizeof(kHelp) - 1), MB_ICONINFORMATION);
    exitCode = 0;
    return true;
  }
  state.reportsCode =
      state.switches.silent || !state.settings.run.empty() || state.settings.autoStart;
  state.destination = state.switches.folderGiven       ? state.switches.folder
                      : !state.settings.folder.empty() ? expanded((state.settings.folder))
                                                       : std::u16string();
  if (!state.switches.silent && !state.settings.question.empty() &&
      message((state.settings.question), MB_YESNO | MB_ICONQUESTION) != IDYES) {
    exitCode = static_cast<int>(kExitCancelled);
    return true;
  }
  if (state.settings.temporary) {
    if (!makeTemporaryFolder()) {
      if (!state.switches.silent) message(u"No temporary folder could be made.", MB_ICONERROR);
      exitCode = static_cast<int>(kExitFailed);
      return true;
    }
    state.destination = state.temporaryFolder;
  }
  if (!state.switches.silent) return false;
  if (state.destination.empty()) {
    wchar_t temp[kPathCapacity] = {};
    DWORD read = GetEnvironmentVariableW(L"TEMP", temp, kPathCapacity);
    std::wstring_view chosen = DefaultDestination(temp, read);
    state.destination =
        std::u16string(reinterpret_cast<const char16_t*>(chosen.data()), chosen.size());
  }
  state.exitCode = runSilently();
  exitCode = FinishInstaller(0);
  return true;
}

void ApplyInstallerToWindow() {
  if (!state.active) return;
  SetWindowTextW(shell.mainWindow, w(state.caption));
  if (!state.destination.empty()) {
    SetWindowTextW(shell.destinationEdit, w(state.destination));
  }
  if (state.settings.overwrite) {
    shell.overwriteFlag = -1;
    SendMessageW(shell.controls[7], BM_SETCHECK, BST_CHECKED, 0);
  }
  if (state.settings.temporary) {
    // Where the files go is not the user's choice: the window shows
    // progress only.
    for (int hidden : {0, 1, 4, 5, 6, 7}) ShowWindow(shell.controls[hidden], SW_HIDE);
    SetFocus(shell.controls[3]);
  }
  if (state.settings.autoStart || state.settings.temporary) {
    PostMessageW(shell.mainWindow, WM_COMMAND, IDC_UNZIP, 0);
  }
}

void InstallerRunEnded(Zip& zip, int32_t result) {
  if (!state.active) return;
  uint32_t code = outcome(zip, result, shell.stopRequested);
  state.exitCode = code;
  bool closes = state.settings.autoStart || state.settings.temporary;
  if (closes && result == 0) PostMessageW(static_cast<HWND>(zip.ownerWindow), WM_CLOSE, 0, 0);
}

void WaitForInstallerProgram() {
  // Its exit code is the program's, and its folder may not go before it.
  WaitServingWorker([] { return state.programRunning.load(); }, 0);
}

void NoteInstallerWarnings() {
  state.warnings = true;
}

int FinishInstaller(int windowResult) {
  // A program that has just ended may still hold its working folder for a
  // moment; give it up to five seconds.
  for (int i = 0; i < kRemoveTries && !state.temporaryFolder.empty(); i++) {
    removeTree(state.temporaryFolder);
    if (GetFileAttributesW(w(state.temporaryFolder)) == INVALID_FILE_ATTRIBUTES) break;
    Sleep(kRemovePauseMs);
  }
  return state.reportsCode ? static_cast<int>(state.exitCode.load()) : windowResult;
}

}  // namespace extractor::app
