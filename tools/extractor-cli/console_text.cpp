#include "console_text.h"

#include <algorithm>
#include <string>

#include "engine/confine.h"
#include "engine/utf8.h"

namespace extractor::cli {
namespace {

#ifdef _WIN32
constexpr char kSeparator = '\\';
#else
constexpr char kSeparator = '/';
#endif

}  // namespace

void printLine(std::FILE* stream, std::u16string_view text) {
  std::string bytes = encodeUtf8(text);
  std::string out;
  out.reserve(bytes.size() + 1);
  for (size_t i = 0; i < bytes.size(); i++) {
    if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') continue;
    out += bytes[i];
  }
  out += '\n';
  std::fputs(out.c_str(), stream);
}

void printProblem(const std::string& where, std::u16string_view text, const std::string& reason) {
  std::string message = encodeUtf8(text);
  std::string line = "extractor-cli: " + where + ": " + message;
  // Wine words a full disk as the message does: once is enough.
  if (!reason.empty() && reason != message) line += ": " + reason;
  line += '\n';
  std::fputs(line.c_str(), stderr);
}

std::string targetPath(const std::string& destination, const ZipEntry& entry) {
  std::u16string directory = entry.directoryName;
  std::u16string file = entry.fileName;
  ConfineEntryPath(directory, file);
  std::string path = destination;
  if (!path.empty() && path.back() != '/' && path.back() != '\\') path += kSeparator;
  std::string name = encodeUtf8(directory + file);
  std::replace(name.begin(), name.end(), '\\', kSeparator);
  return path + name;
}

std::string summaryLine(uint64_t files, uint64_t bytes, double seconds) {
  char text[96];
  std::snprintf(text, sizeof text, "%llu file%s, %.1f MB in %.1f s",
                static_cast<unsigned long long>(files), files == 1 ? "" : "s", bytes / 1e6,
                seconds);
  return text;
}

}  // namespace extractor::cli
