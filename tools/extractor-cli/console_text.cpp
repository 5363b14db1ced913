#include "console_text.h"

#include <string>

#include "engine/utf8.h"

namespace extractor::cli {

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

}  // namespace extractor::cli
