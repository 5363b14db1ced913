// Linux has no volume labels. The label of the current volume is read from
// a file named .windows-label in the current folder, where Wine keeps the
// label of a drive mapped to a folder, so a test can exchange "disks" by
// rewriting that file.
#include "platform/volume.h"

#include <fstream>
#include <iterator>

#include "platform/posix/native_path.h"
#include "platform/text.h"

namespace extractor::platform {

std::u16string volumeLabel(const std::u16string& root) {
  std::string where = root.empty() ? std::string(".") : nativePath(root);
  std::ifstream in(where + "/.windows-label", std::ios::binary);
  if (!in) return {};
  std::string label((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  while (!label.empty() && (label.back() == '\n' || label.back() == '\r')) label.pop_back();
  if (label.size() > 255) label.resize(255);
  return ansiToWide(label);
}

}  // namespace extractor::platform
