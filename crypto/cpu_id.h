// The processor's instruction-set extensions, read once with CPUID. The
// compiler's own __builtin_cpu_supports would do the same, but it pulls a
// 4.5 KiB table-driven identification routine into the program.
#pragma once

#include <cstdint>

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#endif

namespace extractor {

struct CpuId {
  bool pclmul = false;
  bool ssse3 = false;
  bool sse41 = false;
  bool aes = false;
  bool avx2 = false;  // also that the system saves the 256-bit registers
  bool bmi1 = false;
  bool bmi2 = false;
  bool sha = false;
  bool vaes = false;
  bool vpclmulqdq = false;
};

#if defined(__x86_64__) || defined(__i386__)

inline CpuId readCpuId() {
  CpuId id;
  unsigned a = 0, b = 0, c = 0, d = 0;
  unsigned maxLeaf = __get_cpuid_max(0, nullptr);
  if (maxLeaf < 1) return id;
  __cpuid(1, a, b, c, d);
  id.pclmul = c & (1u << 1);
  id.ssse3 = c & (1u << 9);
  id.sse41 = c & (1u << 19);
  id.aes = c & (1u << 25);
  bool ymmSaved = false;
  if ((c & (1u << 27)) && (c & (1u << 28))) {  // OSXSAVE and AVX
    uint32_t low = 0, high = 0;
    __asm__("xgetbv" : "=a"(low), "=d"(high) : "c"(0));
    ymmSaved = (low & 6) == 6;
  }
  if (maxLeaf < 7) return id;
  __cpuid_count(7, 0, a, b, c, d);
  id.bmi1 = b & (1u << 3);
  id.avx2 = ymmSaved && (b & (1u << 5));
  id.bmi2 = b & (1u << 8);
  id.sha = b & (1u << 29);
  id.vaes = c & (1u << 9);
  id.vpclmulqdq = c & (1u << 10);
  return id;
}

#else

inline CpuId readCpuId() {
  return CpuId{};
}

#endif

// Read on first use; a static initialiser may be that first user.
inline const CpuId& cpuId() {
  static const CpuId id = readCpuId();
  return id;
}

}  // namespace extractor
