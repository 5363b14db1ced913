#include "installer.h"

#include <algorithm>

#include "engine/install_settings.h"
#include "engine/utf8.h"

namespace extractor::pack {
namespace {

// The program's manifest keeps blanks behind its level for this rewrite,
// so that the resource keeps its size and the XML stays as valid.
const std::string kAsInvoker = "level=\"asInvoker\"           />";
const std::string kRequireAdministrator = "level=\"requireAdministrator\"/>";

Error setAdministratorLevel(std::vector<uint8_t>& program) {
  auto found = std::search(program.begin(), program.end(), kAsInvoker.begin(), kAsInvoker.end());
  if (found == program.end() || std::search(found + 1, program.end(), kAsInvoker.begin(),
                                            kAsInvoker.end()) != program.end()) {
    return std::string("--admin: the program's manifest has no room for requireAdministrator");
  }
  std::copy(kRequireAdministrator.begin(), kRequireAdministrator.end(), found);
  return std::nullopt;
}

Error checkValues(const InstallerOptions& options) {
  const std::pair<const char*, const std::string*> texts[] = {{"--title", &options.title},
                                                              {"--question", &options.question},
                                                              {"--folder", &options.folder},
                                                              {"--run", &options.run}};
  for (const auto& [name, value] : texts) {
    if (value->find_first_of("\r\n") != std::string::npos) {
      return std::string(name) + " takes one line: its value has a line break";
    }
  }
  if (options.temporary && options.run.empty()) return std::string("--temporary needs --run");
  return std::nullopt;
}

Error checkRunTarget(const std::string& run, const std::vector<std::string>& entryNames) {
  std::u16string program, args;
  SplitRunCommand(decodeUtf8(run), program, args);
  if (!IsInsideDestination(program)) {
    return "--run: " + encodeUtf8(program) +
           " must be a path inside the destination (no drive, no leading separator, no ..)";
  }
  std::u16string wanted = ComparablePath(program);
  for (const std::string& name : entryNames) {
    if (ComparablePath(decodeUtf8(name)) == wanted) return std::nullopt;
  }
  return "--run: " + encodeUtf8(program) + " is not a file of the archive";
}

}  // namespace

std::string settingsBlock(const InstallerOptions& options) {
  std::string lines;
  auto add = [&](const char* key, const std::string& value) {
    if (!value.empty()) lines += std::string(key) + "=" + value + "\r\n";
  };
  add("title", options.title);
  add("question", options.question);
  add("folder", options.folder);
  add("overwrite", options.overwrite ? "yes" : "");
  add("run", options.run);
  add("temporary", options.temporary ? "yes" : "");
  add("auto", options.autoStart ? "yes" : "");
  if (lines.empty()) return lines;
  return std::string(kSettingsOpening) + "\r\n" + lines + kSettingsClosing + "\r\n";
}

Error applyInstaller(const InstallerOptions& options, const std::vector<std::string>& entryNames,
                     std::vector<uint8_t>& program) {
  if (Error e = checkValues(options)) return e;
  if (!options.run.empty()) {
    if (Error e = checkRunTarget(options.run, entryNames)) return e;
  }
  std::string block = settingsBlock(options);
  if (block.size() > kMostSettingsBytes) {
    return "the settings take " + std::to_string(block.size()) + " bytes, more than the " +
           std::to_string(kMostSettingsBytes) + " the program reads";
  }
  InstallSettings parsed;
  std::u16string problem;
  if (!block.empty() && !ParseInstallSettings(block, parsed, problem)) {
    return "the settings do not parse: " + encodeUtf8(problem);
  }
  // The program finds the block right behind its image; a signature or
  // anything else there would hide it.
  std::string_view image(reinterpret_cast<const char*>(program.data()), program.size());
  uint64_t end = ProgramImageEnd(image);
  if (!block.empty() && end != 0 && end != program.size()) {
    return std::string(
        "the program has data behind its image (a signature?): sign the packed "
        "file instead");
  }
  if (options.admin) {
    if (Error e = setAdministratorLevel(program)) return e;
  }
  program.insert(program.end(), block.begin(), block.end());
  return std::nullopt;
}

}  // namespace extractor::pack
