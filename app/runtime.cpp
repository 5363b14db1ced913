// What the C runtime did for extractor.exe, done here so that the program
// imports nothing but kernel32, user32 and gdi32: the C runtime DLL is bound
// by the loader before the program's first instruction, from wherever the
// loader finds it, and no search order the program sets can protect that.
// The program is linked without the runtime's start-up code and libraries;
// this file is the process entry and the few library functions the compiler
// and the program call.
#include <windows.h>

#include <cstddef>

#include "app/shell_text.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR commandLineTail, int showCommand);

namespace {

// Exit routines, as atexit adds them: the compiler registers the destructor
// of every static object this way once its constructor has run.
struct ExitRoutine {
  void (*routine)();
  ExitRoutine* next;
};
ExitRoutine* lastAdded = nullptr;

// The lists the linker builds from every .ctors section, each framed by -1
// and 0; the constructors run from the end of the list to its start, which
// puts those of a higher priority first.
using Constructor = void (*)();
extern "C" Constructor __CTOR_LIST__[];

void runConstructors() {
  Constructor* end = __CTOR_LIST__ + 1;
  while (*end != nullptr) end++;
  for (Constructor* at = end - 1; at != __CTOR_LIST__; at--) (*at)();
}

// The last added first, as the objects were made: the Zip object goes
// before the state it was made after.
void runExitRoutines() {
  while (lastAdded != nullptr) {
    ExitRoutine* entry = lastAdded;
    lastAdded = entry->next;
    entry->routine();
    HeapFree(GetProcessHeap(), 0, entry);
  }
}

int showCommandFromStartup() {
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  GetStartupInfoW(&startup);
  return (startup.dwFlags & STARTF_USESHOWWINDOW) ? startup.wShowWindow : SW_SHOWDEFAULT;
}

}  // namespace

extern "C" int atexit(void (*routine)()) {
  auto* entry = static_cast<ExitRoutine*>(HeapAlloc(GetProcessHeap(), 0, sizeof(ExitRoutine)));
  if (entry == nullptr) return -1;
  *entry = {routine, lastAdded};
  lastAdded = entry;
  return 0;
}

// The process entry, named to the linker with -e.
extern "C" void ProcessEntry() {
  runConstructors();
  auto* tail = const_cast<wchar_t*>(extractor::app::CommandLineTail(GetCommandLineW()));
  int exitCode = wWinMain(GetModuleHandleW(nullptr), nullptr, tail, showCommandFromStartup());
  runExitRoutines();
  ExitProcess(static_cast<UINT>(exitCode));
}

// The memory and string functions the compiler emits calls to and the
// library's inline code uses. This file is compiled with
// -fno-builtin -fno-tree-loop-distribute-patterns, so that these loops are
// not turned back into calls to themselves. Copies and fills use the
// processor's string instructions, which current processors run at the
// speed of a tuned copy loop.
extern "C" {

void* memcpy(void* destination, const void* source, size_t count) {
  void* result = destination;
  asm volatile("rep movsb" : "+D"(destination), "+S"(source), "+c"(count) : : "memory");
  return result;
}

void* memmove(void* destination, const void* source, size_t count) {
  auto* to = static_cast<unsigned char*>(destination);
  auto* from = static_cast<const unsigned char*>(source);
  if (to <= from || to >= from + count) return memcpy(destination, source, count);
  // The destination overlaps the source's end: copy from the last byte down.
  to += count - 1;
  from += count - 1;
  asm volatile("std\n\trep movsb\n\tcld" : "+D"(to), "+S"(from), "+c"(count) : : "memory");
  return destination;
}

void* memset(void* destination, int value, size_t count) {
  void* result = destination;
  asm volatile("rep stosb" : "+D"(destination), "+c"(count) : "a"(value) : "memory");
  return result;
}

int memcmp(const void* first, const void* second, size_t count) {
  auto* left = static_cast<const unsigned char*>(first);
  auto* right = static_cast<const unsigned char*>(second);
  for (size_t at = 0; at < count; at++) {
    if (left[at] != right[at]) return left[at] < right[at] ? -1 : 1;
  }
  return 0;
}

void* memchr(const void* block, int value, size_t count) {
  auto* bytes = static_cast<const unsigned char*>(block);
  for (size_t at = 0; at < count; at++) {
    if (bytes[at] == static_cast<unsigned char>(value))
      return const_cast<unsigned char*>(bytes + at);
  }
  return nullptr;
}

size_t strlen(const char* text) {
  size_t length = 0;
  while (text[length] != '\0') length++;
  return length;
}

size_t wcslen(const wchar_t* text) {
  size_t length = 0;
  while (text[length] != L'\0') length++;
  return length;
}

int strcmp(const char* first, const char* second) {
  auto* left = reinterpret_cast<const unsigned char*>(first);
  auto* right = reinterpret_cast<const unsigned char*>(second);
  while (*left != '\0' && *left == *right) {
    left++;
    right++;
  }
  return *left < *right ? -1 : *left > *right ? 1 : 0;
}

}  // extern "C"
