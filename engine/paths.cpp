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

// Creates every level of path, passing over those that fail.
void makeLevels(const std::u16string& path) {
  std::u16string prefix;
  for (char16_t c : path) {
    if (isSeparator(c)) {
      platform::createFolder(prefix);
      c = u'\\';
    }
    prefix += c;
  }
}

}  // namespace

bool MakeDirectoriesAfter(const std::u16string& path, const std::u16string& made) {
  return platform::createFolders(path, sharedFolders(path, made));
}

// The levels of a destination begin with names that are no folders to
// make (a drive, a server, the root), whose creation fails: they are
// passed over.
void MakeDirectories(const std::u16string& path) {
  makeLevels(path);
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
