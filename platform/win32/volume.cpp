#include "platform/volume.h"

#include <windows.h>

namespace extractor::platform {

std::u16string volumeLabel(const std::u16string& root) {
  wchar_t label[256] = {};
  // An empty removable drive must not bring up the system's "no disk" box
  // while the engine polls for the next volume.
  UINT previous = SetErrorMode(SEM_FAILCRITICALERRORS);
  BOOL ok = GetVolumeInformationW(root.empty() ? nullptr : reinterpret_cast<LPCWSTR>(root.c_str()),
                                  label, 256, nullptr, nullptr, nullptr, nullptr, 0);
  SetErrorMode(previous);
  if (!ok) return {};
  return std::u16string(reinterpret_cast<const char16_t*>(label));
}

}  // namespace extractor::platform
