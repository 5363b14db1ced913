#include "engine/entry_name.h"

#include "engine/utf8.h"
#include "platform/text.h"

namespace extractor {
namespace {

constexpr uint16_t kUtf8Flag = 1 << 11;

}  // namespace

std::u16string DecodeEntryName(std::string_view raw, uint16_t flags) {
  if (flags & kUtf8Flag) return decodeUtf8(raw);
  return platform::ansiToWide(raw);
}

void SplitEntryName(const std::u16string& name, std::u16string& directoryName,
                    std::u16string& fileName) {
  size_t cut = name.find_last_of(u"\\/");
  size_t fileStart = cut == std::u16string::npos ? 0 : cut + 1;
  size_t skip = name.size() >= 3 && name[1] == u':' && name[2] == u'\\' ? 3 : 0;
  fileName = name.substr(fileStart);
  directoryName = fileStart > skip ? name.substr(skip, fileStart - skip) : std::u16string();
}

}  // namespace extractor
