#include "crypto/cpu_features.h"

#include "crypto/cpu_id.h"

namespace extractor {

bool cpuHasPclmul() {
  return cpuId().pclmul;
}

bool cpuHasVpclmulAvx2() {
  return cpuId().vpclmulqdq && cpuId().avx2;
}

bool cpuHasAesNi() {
  return cpuId().aes;
}

bool cpuHasShaNi() {
  return cpuId().sha && cpuId().ssse3 && cpuId().sse41;
}

bool cpuHasVaesAvx2() {
  return cpuId().vaes && cpuId().avx2 && cpuId().aes;
}

}  // namespace extractor
