#include "engine/confine.h"

#include <vector>

#include "engine/windows_names.h"

namespace extractor {
namespace {

bool isSeparator(char16_t c) {
  return c == u'\\' || c == u'/';
}

bool isDrive(const std::u16string& component) {
  return component.size() >= 2 && component[1] == u':' &&
         ((component[0] >= u'A' && component[0] <= u'Z') ||
          (component[0] >= u'a' && component[0] <= u'z'));
}

std::vector<std::u16string> split(const std::u16string& text) {
  std::vector<std::u16string> parts(1);
  for (char16_t c : text) {
    if (isSeparator(c)) {
      parts.emplace_back();
    } else {
      parts.back() += c;
    }
  }
  return parts;
}

// The system's own prefixes "\\?\", "\\.\" and "\\?\UNC\" name no folder
// and go as a whole; parts[0] and parts[1] are the empty parts in front of
// the two leading separators.
size_t devicePrefixLength(const std::vector<std::u16string>& parts) {
  if (parts.size() < 4 || !parts[1].empty() || (parts[2] != u"?" && parts[2] != u".")) return 0;
  return parts[3] == u"UNC" ? 4 : 3;
}

}  // namespace

bool ConfineEntryPath(std::u16string& directoryName, std::u16string& fileName) {
  std::u16string name = directoryName + fileName;
  std::vector<std::u16string> parts = split(name);
  bool changed = false;
  size_t start = 0;
  // Leading separators, one or a run of them ("\\server\share" too), are
  // dropped and what follows them lands under the destination.
  if (!name.empty() && isSeparator(name[0])) {
    start = devicePrefixLength(parts);
    changed = true;
  }
  std::u16string dir;
  std::u16string file;
  bool first = true;
  for (size_t i = start; i < parts.size(); i++) {
    std::u16string part = parts[i];
    if (first && isDrive(part)) {
      part.erase(0, 2);
      changed = true;
    }
    // "." names the folder itself and is dropped quietly; ".." and its
    // look-alikes, whose trailing dots Windows drops, come out empty.
    if (part == u".") {
      part.clear();
    } else if (MendForWindows(part)) {
      changed = true;
    }
    if (i + 1 == parts.size()) {
      file = part;
    } else if (!part.empty()) {
      dir += part + u'\\';
      first = false;
    }
  }
  directoryName = dir;
  fileName = file;
  return changed;
}

}  // namespace extractor
