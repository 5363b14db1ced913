#include "app/installer_text.h"

namespace extractor::app {
namespace {

bool isBlank(char16_t c) {
  return c == u' ' || c == u'\t';
}

// A word: up to the next blank, or within double quotes.
const char16_t* wordEnd(const char16_t* at) {
  bool quoted = false;
  while (*at != u'\0' && (quoted || !isBlank(*at))) {
    if (*at == u'"') quoted = !quoted;
    at++;
  }
  return at;
}

}  // namespace

Switches ParseSwitches(const char16_t* tail) {
  Switches found;
  const char16_t* at = tail;
  while (*at != u'\0') {
    while (isBlank(*at)) at++;
    const char16_t* end = wordEnd(at);
    // Deployment tools quote the whole switch or nothing of it.
    bool quoted = *at == u'"';
    const char16_t* word = quoted ? at + 1 : at;
    if (word[0] == u'/' && word[1] == u'D' && word[2] == u'=') {
      // The rest of the line, blanks and all, as installers take it.
      std::u16string folder(word + 3);
      while (!folder.empty() && isBlank(folder.back())) folder.pop_back();
      if (quoted && !folder.empty() && folder.back() == u'"') folder.pop_back();
      if (!folder.empty() && folder[0] == u'"') {
        folder.erase(0, 1);
        if (!folder.empty() && folder.back() == u'"') folder.pop_back();
      }
      found.folderGiven = !folder.empty();
      found.folder = folder;
      break;
    }
    size_t length = static_cast<size_t>(end - word) - (quoted && end[-1] == u'"' ? 1 : 0);
    if (length == 2 && word[0] == u'/') {
      if (word[1] == u'S') found.silent = true;
      if (word[1] == u'?') found.help = true;
    }
    at = end;
  }
  return found;
}

std::u16string RunCommandLine(const std::u16string& fullPath, const std::u16string& args) {
  std::u16string line = u"\"" + fullPath + u"\"";
  if (!args.empty()) line += u" " + args;
  return line;
}

std::u16string JoinBelow(const std::u16string& folder, const std::u16string& relative) {
  std::u16string path = folder;
  if (!path.empty() && path.back() != u'\\' && path.back() != u'/') path += u'\\';
  for (char16_t c : relative) path += c == u'/' ? u'\\' : c;
  return path;
}

uint32_t ExtractionExitCode(int32_t result, bool stopped, bool warnings) {
  if (result != 0) return stopped ? kExitCancelled : kExitFailed;
  return warnings ? kExitWarnings : 0;
}

}  // namespace extractor::app
