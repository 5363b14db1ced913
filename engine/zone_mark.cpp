#include "engine/zone_mark.h"

namespace extractor {
namespace {

bool isBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r';
}

std::string_view trimmed(std::string_view text) {
  while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && isBlank(text.back())) text.remove_suffix(1);
  return text;
}

// Keys are compared without regard to case, as INI files are read.
bool sameKey(std::string_view key, const char* wanted) {
  size_t i = 0;
  for (; i < key.size() && wanted[i] != '\0'; i++) {
    if ((key[i] | 0x20) != (wanted[i] | 0x20)) return false;
  }
  return i == key.size() && wanted[i] == '\0';
}

void appendLine(std::string& mark, const char* key, std::string_view value) {
  if (value.empty()) return;
  mark += key;
  mark += '=';
  mark.append(value.data(), value.size());
  mark += "\r\n";
}

}  // namespace

std::string CarriedZoneMark(std::string_view identifier) {
  // The stream is an INI text whose keys stand in the [ZoneTransfer]
  // section; writers differ in the case of the keys and in line ends.
  enum { kZone, kReferrer, kHost, kKeys };
  static const char* const kNames[kKeys] = {"ZoneId", "ReferrerUrl", "HostUrl"};
  std::string_view values[kKeys];
  bool inSection = false;
  while (!identifier.empty()) {
    size_t end = identifier.find('\n');
    std::string_view line = trimmed(identifier.substr(0, end));
    identifier.remove_prefix(end == std::string_view::npos ? identifier.size() : end + 1);
    if (!line.empty() && line.front() == '[') {
      inSection = sameKey(line, "[ZoneTransfer]");
      continue;
    }
    size_t equals = line.find('=');
    if (!inSection || equals == std::string_view::npos) continue;
    std::string_view key = trimmed(line.substr(0, equals));
    for (int k = 0; k < kKeys; k++) {
      if (sameKey(key, kNames[k])) values[k] = trimmed(line.substr(equals + 1));
    }
  }
  if (values[kZone] != "3" && values[kZone] != "4") return {};
  std::string mark = "[ZoneTransfer]\r\n";
  for (int k = 0; k < kKeys; k++) appendLine(mark, kNames[k], values[k]);
  return mark;
}

}  // namespace extractor
