// extractor.exe never throws: the few places where the C++ library would
// throw (an allocation that fails, a length past a container's maximum) end
// the process instead. Defining them here keeps the library's exception
// machinery, which is most of a small static program, out of the file.
#include <windows.h>

#include <cstddef>
#include <new>

namespace {

[[noreturn]] void endProcess() {
  // Without memory or with a broken invariant nothing can be shown safely.
  TerminateProcess(GetCurrentProcess(), 3);
  __builtin_unreachable();
}

void* allocate(std::size_t size) {
  void* block = HeapAlloc(GetProcessHeap(), 0, size == 0 ? 1 : size);
  if (block == nullptr) endProcess();
  return block;
}

void release(void* block) {
  if (block) HeapFree(GetProcessHeap(), 0, block);
}

}  // namespace

namespace std {

void __throw_bad_alloc() {
  endProcess();
}
void __throw_bad_array_new_length() {
  endProcess();
}
void __throw_length_error(const char*) {
  endProcess();
}
void __throw_logic_error(const char*) {
  endProcess();
}
void __throw_out_of_range(const char*) {
  endProcess();
}
void __throw_out_of_range_fmt(const char*, ...) {
  endProcess();
}
void __throw_invalid_argument(const char*) {
  endProcess();
}

}  // namespace std

namespace __gnu_cxx {

// The library's default handler names the exception, which brings in the
// whole demangler.
void __verbose_terminate_handler() {
  endProcess();
}

}  // namespace __gnu_cxx

extern "C" void __cxa_pure_virtual() {
  endProcess();
}

void* operator new(std::size_t size) {
  return allocate(size);
}
void* operator new[](std::size_t size) {
  return allocate(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  return HeapAlloc(GetProcessHeap(), 0, size == 0 ? 1 : size);
}
// The decoders' block and dictionary memory: a failure ends the entry, not
// the process.
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
  return HeapAlloc(GetProcessHeap(), 0, size == 0 ? 1 : size);
}
void operator delete(void* block) noexcept {
  release(block);
}
void operator delete[](void* block) noexcept {
  release(block);
}
void operator delete(void* block, std::size_t) noexcept {
  release(block);
}
void operator delete[](void* block, std::size_t) noexcept {
  release(block);
}
