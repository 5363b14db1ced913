#include "engine/entry_name.h"

#include <optional>

#include "crypto/crc32.h"
#include "engine/little_endian.h"
#include "engine/utf8.h"
#include "platform/text.h"

namespace extractor {
namespace {

constexpr uint16_t kUtf8Flag = 1 << 11;
constexpr uint16_t kUnicodePathId = 0x7075;
constexpr uint8_t kUnicodePathVersion = 1;
// The host system in the high byte of "version made by".
constexpr uint8_t kHostUnix = 3;
constexpr uint8_t kHostMac = 19;

const uint8_t* bytesOf(std::string_view text) {
  return reinterpret_cast<const uint8_t*>(text.data());
}

// The UTF-8 name of a Unicode Path field that belongs to raw: a field left
// behind by a tool that renamed the entry no longer matches its CRC-32. An
// empty name would turn a file into a folder entry and is not taken.
std::optional<std::string_view> unicodePath(std::string_view raw, std::string_view extra) {
  size_t at = 0;
  while (at + 4 <= extra.size()) {
    uint16_t id = load16(bytesOf(extra) + at);
    size_t size = load16(bytesOf(extra) + at + 2);
    if (at + 4 + size > extra.size()) break;
    std::string_view field = extra.substr(at + 4, size);
    if (id == kUnicodePathId && size > 5 && static_cast<uint8_t>(field[0]) == kUnicodePathVersion &&
        load32(bytesOf(field) + 1) ==
            crc32Update(0, bytesOf(raw), static_cast<int32_t>(raw.size()))) {
      return field.substr(5);
    }
    at += 4 + size;
  }
  return std::nullopt;
}

bool writtenOnUnix(uint16_t versionMadeBy) {
  uint8_t host = static_cast<uint8_t>(versionMadeBy >> 8);
  return host == kHostUnix || host == kHostMac;
}

}  // namespace

std::u16string DecodeEntryName(std::string_view raw, uint16_t flags, uint16_t versionMadeBy,
                               std::string_view centralExtra) {
  if (flags & kUtf8Flag) return decodeUtf8(raw);
  if (std::optional<std::string_view> utf8 = unicodePath(raw, centralExtra)) {
    return decodeUtf8(*utf8);
  }
  if (writtenOnUnix(versionMadeBy) && isUtf8Text(raw)) return decodeUtf8(raw);
  return platform::ansiToWide(raw);
}

bool SplitEntryName(const std::u16string& name, std::u16string& directoryName,
                    std::u16string& fileName) {
  size_t cut = name.find_last_of(u"\\/");
  size_t fileStart = cut == std::u16string::npos ? 0 : cut + 1;
  size_t skip = name.size() >= 3 && name[1] == u':' && name[2] == u'\\' ? 3 : 0;
  fileName = name.substr(fileStart);
  directoryName = fileStart > skip ? name.substr(skip, fileStart - skip) : std::u16string();
  return skip != 0;
}

}  // namespace extractor
