#include "engine/paths.h"

#include "platform/file.h"
#include "platform/text.h"

namespace extractor {

void MakeDirectories(const std::u16string& path) {
  std::u16string prefix;
  for (char16_t c : path) {
    if (c == u'\\' || c == u'/') {
      platform::createFolder(platform::wideToAnsi(prefix, platform::Unmappable::SystemDefault));
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
