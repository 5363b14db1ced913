#include "engine/methods.h"

namespace extractor {

const MethodRow* FindMethod(uint16_t method) {
  for (const MethodRow& row : kMethods) {
    if (row.method == method) return &row;
  }
  return nullptr;
}

}  // namespace extractor
