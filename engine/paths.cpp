#include "engine/paths.h"

#include "platform/file.h"

namespace extractor {

void MakeDirectories(const std::u16string& path) {
  std::u16string prefix;
  for (char16_t c : path) {
    if (c == u'\\' || c == u'/') {
      platform::createFolder(prefix);
      c = u'\\';
    }
    prefix += c;
  }
}

std::u16string PrepareDestination(const std::u16string& destination) {
  std::u16string root = destination;
  if (!root.empty() && root.back() == u'/') {
    root.back() = u'\\';
  } else if (root.empty() || root.back() != u'\\') {
    root += u'\\';
  }
  MakeDirectories(root);
  return root;
}

}  // namespace extractor
