#include "inputs.h"

#include <algorithm>
#include <set>
#include <system_error>

#include "engine/utf8.h"
#include "platform/host.h"

namespace fs = std::filesystem;

namespace extractor::pack {
namespace {

std::string shown(const fs::path& path) {
  return path.u8string();
}

// The DOS fields of the file's local time; times outside 1980 to 2107, which
// the fields cannot hold, become the nearest they can.
void setDosTime(Input& input) {
  std::optional<platform::LocalTime> time = platform::lastWriteLocalTime(input.path.u8string());
  platform::LocalTime t = time.value_or(platform::LocalTime{});
  if (t.year < 1980) t = platform::LocalTime{};
  if (t.year > 2107) t = platform::LocalTime{2107, 12, 31, 23, 59, 58};
  input.dosDate = static_cast<uint16_t>((t.year - 1980) << 9 | t.month << 5 | t.day);
  input.dosTime = static_cast<uint16_t>(t.hour << 11 | t.minute << 5 | t.second / 2);
}

class Collector {
 public:
  Collector(const fs::path& skip, std::vector<Input>& inputs, std::vector<std::string>& warnings)
      : skip_(skip), inputs_(inputs), warnings_(warnings) {}

  Error add(const fs::path& path, const std::string& name);

 private:
  Error addFolder(const fs::path& path, const std::string& name);
  Error addFile(const fs::path& path, const std::string& name, const fs::file_status& status);

  fs::path skip_;
  std::vector<Input>& inputs_;
  std::vector<std::string>& warnings_;
  std::vector<fs::path> openFolders_;  // the folders being walked, to catch links into them
};

Error Collector::add(const fs::path& path, const std::string& name) {
  std::error_code error;
  fs::file_status status = fs::status(path, error);
  if (error || !fs::exists(status)) {
    // A link whose target is gone holds nothing to pack.
    if (fs::is_symlink(fs::symlink_status(path, error))) {
      warnings_.push_back("skipped " + shown(path) + ": a link to nothing");
      return std::nullopt;
    }
    return "cannot find " + shown(path);
  }
  if (fs::is_directory(status)) return addFolder(path, name);
  return addFile(path, name, status);
}

Error Collector::addFile(const fs::path& path, const std::string& name,
                         const fs::file_status& status) {
  if (!fs::is_regular_file(status)) return "cannot read " + shown(path) + ": not a file or folder";
  if (!skip_.empty() && fs::absolute(path).lexically_normal() == skip_) return std::nullopt;
  std::error_code error;
  Input input;
  input.path = path;
  input.name = name;
  input.size = fs::file_size(path, error);
  if (error) return "cannot read " + shown(path) + ": " + error.message();
  setDosTime(input);
  inputs_.push_back(std::move(input));
  return std::nullopt;
}

Error Collector::addFolder(const fs::path& path, const std::string& name) {
  std::error_code error;
  fs::path real = fs::canonical(path, error);
  if (error) return "cannot read " + shown(path) + ": " + error.message();
  if (std::find(openFolders_.begin(), openFolders_.end(), real) != openFolders_.end()) {
    return "cannot pack " + shown(path) + ": a link leads back into a folder that holds it";
  }
  if (!name.empty()) {
    Input folder;
    folder.path = path;
    folder.name = name;
    folder.folder = true;
    setDosTime(folder);
    inputs_.push_back(std::move(folder));
  }
  std::vector<fs::path> children;
  fs::directory_iterator it(path, error), end;
  if (error) return "cannot read " + shown(path) + ": " + error.message();
  for (; it != end; it.increment(error)) {
    if (error) return "cannot read " + shown(path) + ": " + error.message();
    children.push_back(it->path());
  }
  std::sort(children.begin(), children.end());
  openFolders_.push_back(real);
  for (const fs::path& child : children) {
    std::string childName = name + child.filename().u8string();
    bool isFolder = fs::is_directory(child, error);
    if (Error e = add(child, isFolder ? childName + "/" : childName)) return e;
  }
  openFolders_.pop_back();
  return std::nullopt;
}

// The entry name of a path given: its last component, "/" added for a folder.
std::string topName(const fs::path& given, bool folder) {
  fs::path full = fs::absolute(given).lexically_normal();
  if (full.filename().empty()) full = full.parent_path();
  std::string name = full.filename().u8string();
  if (name.empty() || full == full.root_path()) return {};  // a root: its contents only
  return folder ? name + "/" : name;
}

}  // namespace

bool needsUtf8Flag(const std::string& name) {
  bool wide = std::any_of(name.begin(), name.end(), [](char c) { return c & 0x80; });
  if (!wide) return false;
  return encodeUtf8(decodeUtf8(name)) == name;
}

Error collectInputs(const std::vector<std::string>& paths, const fs::path& skip,
                    std::vector<Input>& inputs, std::vector<std::string>& warnings) {
  fs::path normalSkip = skip.empty() ? skip : fs::absolute(skip).lexically_normal();
  Collector collector(normalSkip, inputs, warnings);
  for (const std::string& text : paths) {
    fs::path path = fs::u8path(text);
    std::error_code error;
    bool folder = fs::is_directory(path, error);
    if (Error e = collector.add(path, topName(path, folder))) return e;
  }
  std::set<std::string> seen;
  for (const Input& input : inputs) {
    if (!seen.insert(input.name).second) {
      return "two inputs have the same name in the archive: " + input.name;
    }
    if (input.name.size() > 0xFFFF) return "a name is longer than 65,535 bytes: " + input.name;
  }
  return std::nullopt;
}

}  // namespace extractor::pack
