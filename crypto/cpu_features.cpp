#include "crypto/cpu_features.h"

namespace extractor {

#if defined(__x86_64__) || defined(__i386__)

// __builtin_cpu_init must run before the first query when the caller may itself
// be a static initialiser; calling it again is harmless.
bool cpuHasPclmul() {
  __builtin_cpu_init();
  return __builtin_cpu_supports("pclmul");
}

bool cpuHasVpclmulAvx2() {
  __builtin_cpu_init();
  return __builtin_cpu_supports("vpclmulqdq") && __builtin_cpu_supports("avx2");
}

bool cpuHasAesNi() {
  __builtin_cpu_init();
  return __builtin_cpu_supports("aes");
}

bool cpuHasShaNi() {
  __builtin_cpu_init();
  return __builtin_cpu_supports("sha") && __builtin_cpu_supports("sse4.1");
}

bool cpuHasVaesAvx2() {
  __builtin_cpu_init();
  return __builtin_cpu_supports("vaes") && __builtin_cpu_supports("avx2") &&
         __builtin_cpu_supports("aes");
}

#else

bool cpuHasPclmul() {
  return false;
}
bool cpuHasAesNi() {
  return false;
}
bool cpuHasShaNi() {
  return false;
}
bool cpuHasVaesAvx2() {
  return false;
}

#endif

}  // namespace extractor
