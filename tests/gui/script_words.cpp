#include "script_words.h"

namespace extractor::test {

bool splitWords(const std::string& line, std::vector<std::string>& words) {
  words.clear();
  size_t at = 0;
  while (at < line.size()) {
    while (at < line.size() && (line[at] == ' ' || line[at] == '\t' || line[at] == '\r')) at++;
    if (at == line.size() || (words.empty() && line[at] == '#')) break;
    std::string word;
    bool quoted = false;
    while (at < line.size()) {
      char c = line[at];
      if (!quoted && (c == ' ' || c == '\t' || c == '\r')) break;
      at++;
      if (c == '"') {
        quoted = !quoted;
      } else if (quoted && c == '\\' && at < line.size()) {
        char escaped = line[at++];
        word += escaped == 'r' ? '\r' : escaped == 'n' ? '\n' : escaped;
      } else {
        word += c;
      }
    }
    if (quoted) return false;
    words.push_back(word);
  }
  return true;
}

}  // namespace extractor::test
