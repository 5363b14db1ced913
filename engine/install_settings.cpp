#include "engine/install_settings.h"

#include "engine/little_endian.h"
#include "engine/utf8.h"

namespace extractor {
namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

enum class Key { Title, Question, Folder, Overwrite, Run, Temporary, Auto, Unknown };

struct KeyName {
  const char* name;
  Key key;
};

const KeyName kKeys[] = {
    {"title", Key::Title},         {"question", Key::Question}, {"folder", Key::Folder},
    {"overwrite", Key::Overwrite}, {"run", Key::Run},           {"temporary", Key::Temporary},
    {"auto", Key::Auto},
};

Key keyOf(std::string_view name) {
  for (const KeyName& known : kKeys) {
    if (name == known.name) return known.key;
  }
  return Key::Unknown;
}

// "line N: what", N in decimal without the formatted-output functions,
// which the Windows program does not carry.
std::u16string lineProblem(int line, const char* what) {
  std::string digits;
  do {
    digits.insert(digits.begin(), static_cast<char>('0' + line % 10));
    line /= 10;
  } while (line != 0);
  return decodeUtf8("line " + digits + ": " + what);
}

// Line breaks are the block's own; other control characters in a value
// would reach a caption, a message or a command line unseen.
bool isCleanText(std::string_view text) {
  for (unsigned char c : text) {
    if ((c < 0x20 && c != '\t') || c == 0x7F) return false;
  }
  return encodeUtf8(decodeUtf8(text)) == text;  // well-formed UTF-8
}

// One key=value line into settings: null, or what is wrong with it.
const char* applyLine(std::string_view line, InstallSettings& settings, unsigned& seen) {
  size_t equals = line.find('=');
  if (equals == std::string_view::npos) return "no key=value";
  std::string_view value = line.substr(equals + 1);
  Key key = keyOf(line.substr(0, equals));
  if (key == Key::Unknown) return "unknown key";
  unsigned bit = 1u << static_cast<unsigned>(key);
  if (seen & bit) return "the key is given twice";
  seen |= bit;
  if (value.empty() || !isCleanText(value)) return "bad value";
  bool* flag = key == Key::Overwrite   ? &settings.overwrite
               : key == Key::Temporary ? &settings.temporary
               : key == Key::Auto      ? &settings.autoStart
                                       : nullptr;
  if (flag) {
    if (value != "yes" && value != "no") return "the value is yes or no";
    *flag = value == "yes";
    return nullptr;
  }
  std::u16string text = decodeUtf8(value);
  if (key == Key::Run) {
    std::u16string program, args;
    SplitRunCommand(text, program, args);
    if (!IsInsideDestination(program)) return "the program to run must lie inside the destination";
  }
  (key == Key::Title      ? settings.title
   : key == Key::Question ? settings.question
   : key == Key::Folder   ? settings.folder
                          : settings.run) = text;
  return nullptr;
}

// The next line of text from at, without its line break; false at the end.
bool nextLine(std::string_view text, size_t& at, std::string_view& line) {
  if (at >= text.size()) return false;
  size_t end = text.find('\n', at);
  if (end == std::string_view::npos) end = text.size();
  line = text.substr(at, end - at);
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  at = end + 1;
  return true;
}

bool isSeparator(char16_t c) {
  return c == u'\\' || c == u'/';
}

}  // namespace

bool ParseInstallSettings(std::string_view bytes, InstallSettings& settings,
                          std::u16string& problem) {
  settings = InstallSettings();
  if (bytes.substr(0, kByteOrderMark.size()) == kByteOrderMark) {
    bytes.remove_prefix(kByteOrderMark.size());
  }
  size_t at = 0;
  std::string_view line;
  static_assert(kMostSettingsBytes == 8192, "the message names the limit");
  if (!nextLine(bytes, at, line) || line != kSettingsOpening) return true;
  settings.present = true;
  bytes = bytes.substr(0, kMostSettingsBytes);
  unsigned seen = 0;
  int number = 1, temporaryLine = 0;
  while (nextLine(bytes, at, line)) {
    number++;
    if (at > bytes.size()) break;  // cut off by the end or the size limit: no line
    if (line == kSettingsClosing) {
      if (settings.temporary && settings.run.empty()) {
        problem = lineProblem(temporaryLine, "the temporary mode needs a program to run");
        return false;
      }
      return true;
    }
    if (line.empty() || line[0] == ';') continue;  // blank lines and remarks
    if (const char* wrong = applyLine(line, settings, seen)) {
      problem = lineProblem(number, wrong);
      return false;
    }
    if (settings.temporary && temporaryLine == 0) temporaryLine = number;
  }
  problem =
      lineProblem(number, "no closing line [end of extractor settings] in the first 8192 bytes");
  return false;
}

void SplitRunCommand(const std::u16string& run, std::u16string& program, std::u16string& args) {
  size_t end;
  if (!run.empty() && run[0] == u'"') {
    end = run.find(u'"', 1);
    program = run.substr(1, end == std::u16string::npos ? std::u16string::npos : end - 1);
    end = end == std::u16string::npos ? run.size() : end + 1;
  } else {
    end = run.find(u' ');
    if (end == std::u16string::npos) end = run.size();
    program = run.substr(0, end);
  }
  size_t rest = run.find_first_not_of(u" \t", end);
  args = rest == std::u16string::npos ? std::u16string() : run.substr(rest);
}

bool IsInsideDestination(const std::u16string& program) {
  if (program.empty() || isSeparator(program[0]) || program.find(u':') != std::u16string::npos) {
    return false;
  }
  size_t start = 0;
  while (start <= program.size()) {
    size_t end = start;
    while (end < program.size() && !isSeparator(program[end])) end++;
    std::u16string_view part(program.data() + start, end - start);
    if (part.empty() || part == u"." || part == u"..") return false;
    start = end + 1;
  }
  return true;
}

std::u16string ComparablePath(const std::u16string& path) {
  std::u16string result = path;
  for (char16_t& c : result) {
    if (c == u'/') c = u'\\';
    if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
  }
  return result;
}

uint64_t ProgramImageEnd(std::string_view headers) {
  auto bytes = reinterpret_cast<const uint8_t*>(headers.data());
  if (headers.size() < 0x40 || headers[0] != 'M' || headers[1] != 'Z') return 0;
  uint32_t pe = load32(bytes + 0x3C);
  if (pe > headers.size() || headers.size() - pe < 24 ||
      headers.substr(pe, 4) != std::string_view("PE\0\0", 4)) {
    return 0;
  }
  uint16_t sections = load16(bytes + pe + 6);
  uint64_t table = pe + 24 + uint64_t{load16(bytes + pe + 20)};
  if (table + 40ull * sections > headers.size()) return 0;
  uint64_t end = 0;
  for (uint16_t i = 0; i < sections; i++) {
    const uint8_t* section = bytes + table + 40ull * i;
    uint64_t rawEnd = uint64_t{load32(section + 20)} + load32(section + 16);
    if (load32(section + 16) != 0 && rawEnd > end) end = rawEnd;
  }
  return end;
}

}  // namespace extractor
