#include "engine/zone_mark.h"

namespace extractor {
namespace {

std::string_view trimmed(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) {
    text.remove_suffix(1);
  }
  return text;
}

bool sameKey(std::string_view key, std::string_view wanted) {
  if (key.size() != wanted.size()) return false;
  for (size_t i = 0; i < key.size(); i++) {
    char a = key[i], b = wanted[i];
    if (a >= 'A' && a <= 'Z') a = static_cast<char>(a - 'A' + 'a');
    if (b >= 'A' && b <= 'Z') b = static_cast<char>(b - 'A' + 'a');
    if (a != b) return false;
  }
  return true;
}

}  // namespace

std::string CarriedZoneMark(std::string_view identifier) {
  // The stream is an INI text; its keys stand in the [ZoneTransfer] section.
  // Writers differ in the case of the keys and in line ends.
  bool inSection = false;
  std::string zone, referrer, host;
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
    std::string value(trimmed(line.substr(equals + 1)));
    if (sameKey(key, "ZoneId")) zone = value;
    if (sameKey(key, "ReferrerUrl")) referrer = value;
    if (sameKey(key, "HostUrl")) host = value;
  }
  if (zone != "3" && zone != "4") return {};
  std::string mark = "[ZoneTransfer]\r\nZoneId=" + zone + "\r\n";
  if (!referrer.empty()) mark += "ReferrerUrl=" + referrer + "\r\n";
  if (!host.empty()) mark += "HostUrl=" + host + "\r\n";
  return mark;
}

}  // namespace extractor
