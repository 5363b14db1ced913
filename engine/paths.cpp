#include "engine/paths.h"

#include "platform/file.h"

namespace extractor {

namespace {

bool isSeparator(char16_t c) {
  return c == u'\\' || c == u'/';
}

// The length of the leading folders path and made share, up to and
// including their last common separator.
size_t sharedFolders(const std::u16string& path, const std::u16string& made) {
  size_t shared = 0;
  for (size_t i = 0; i < path.size() && i < made.size(); i++) {
    bool separator = isSeparator(path[i]);
    if (separator != isSeparator(made[i]) || (!separator && path[i] != made[i])) break;
    if (separator) shared = i + 1;
  }
  return shared;
}

}  // namespace

void MakeDirectoriesAfter(const std::u16string& path, const std::u16string& made) {
  const size_t known = sharedFolders(path, made);
  std::u16string prefix;
  for (char16_t c : path) {
    if (isSeparator(c)) {
      if (prefix.size() >= known) platform::createFolder(prefix);
      c = u'\\';
    }
    prefix += c;
  }
}

void MakeDirectories(const std::u16string& path) {
  MakeDirectoriesAfter(path, u"");
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
