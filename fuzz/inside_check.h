// The property the extraction driver relies on after confining a name: the
// joined name is relative and never climbs.
#pragma once

#include <string>

namespace extractor::fuzz {

inline bool isSeparator(char16_t c) {
  return c == u'\\' || c == u'/';
}

// True when directoryName + fileName, joined to a destination, names a
// place below it: no leading separator, no drive, no component that
// Windows would read as "..", and a file name without separators.
inline bool staysInside(const std::u16string& directoryName, const std::u16string& fileName) {
  for (char16_t c : fileName) {
    if (isSeparator(c)) return false;
  }
  std::u16string name = directoryName + fileName;
  if (!name.empty() && isSeparator(name[0])) return false;
  if (name.size() >= 2 && name[1] == u':' &&
      ((name[0] >= u'A' && name[0] <= u'Z') || (name[0] >= u'a' && name[0] <= u'z'))) {
    return false;
  }
  std::u16string component;
  for (size_t i = 0; i <= name.size(); i++) {
    if (i < name.size() && !isSeparator(name[i])) {
      component += name[i];
      continue;
    }
    bool onlyDots = component.size() >= 2;
    for (char16_t c : component) onlyDots = onlyDots && (c == u'.' || c == u' ');
    if (onlyDots) return false;
    component.clear();
  }
  return true;
}

}  // namespace extractor::fuzz
