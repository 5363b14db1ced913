#include "corpus.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>

namespace fs = std::filesystem;

namespace {

void writeOctal(uint8_t* field, unsigned digits, size_t value) {
  for (unsigned i = digits; i-- > 0; value >>= 3)
    field[i] = static_cast<uint8_t>('0' + (value & 7));
}

// Appends regular files under root, in a stable order, until size bytes;
// withHeaders puts a 512-byte tar header before each file and pads it to a
// multiple of 512, as tar does.
std::vector<uint8_t> gather(const std::string& root, size_t size, bool (*wanted)(const fs::path&),
                            bool withHeaders) {
  std::vector<fs::path> paths;
  std::error_code ec;
  for (fs::recursive_directory_iterator it(root, fs::directory_options::skip_permission_denied, ec),
       end;
       it != end; it.increment(ec)) {
    if (ec) break;
    if (it->is_regular_file(ec) && !it->is_symlink(ec) && wanted(it->path())) {
      paths.push_back(it->path());
    }
  }
  std::sort(paths.begin(), paths.end());
  std::vector<uint8_t> out;
  for (const fs::path& p : paths) {
    if (out.size() >= size) break;
    std::ifstream f(p, std::ios::binary);
    std::vector<uint8_t> content((std::istreambuf_iterator<char>(f)), {});
    if (content.empty()) continue;
    if (withHeaders) {
      uint8_t header[512] = {};
      std::string name = p.string().substr(1, 99);
      std::memcpy(header, name.data(), name.size());
      writeOctal(header + 100, 7, 0644);
      writeOctal(header + 124, 11, content.size());
      header[156] = '0';
      std::memcpy(header + 257, "ustar", 5);
      out.insert(out.end(), header, header + 512);
      content.resize((content.size() + 511) / 512 * 512);
    }
    out.insert(out.end(), content.begin(), content.end());
  }
  if (out.size() > size) out.resize(size);
  return out;
}

bool isText(const fs::path& p) {
  const std::string name = p.filename().string();
  return name == "copyright" || name == "changelog" || p.extension() == ".txt" ||
         p.parent_path().filename() == "common-licenses";
}
bool anyFile(const fs::path&) {
  return true;
}
bool isHeader(const fs::path& p) {
  return p.extension() == ".h";
}

std::vector<uint8_t> repetitive(size_t size) {
  std::vector<uint8_t> out;
  std::mt19937 rng(1);
  while (out.size() < size) {
    // Long runs, short periods and repeated phrases.
    switch (rng() % 3) {
      case 0:
        out.insert(out.end(), 100 + rng() % 2000, static_cast<uint8_t>(rng()));
        break;
      case 1: {
        const char* pattern = "abcabcabd";
        for (unsigned i = 0, n = 200 + rng() % 3000; i < n; ++i) out.push_back(pattern[i % 9]);
        break;
      }
      default: {
        static const char phrase[] = "<row><cell>0</cell><cell>1</cell></row>\n";
        for (unsigned i = 0, n = 1 + rng() % 100; i < n; ++i) {
          out.insert(out.end(), phrase, phrase + sizeof phrase - 1);
        }
      }
    }
  }
  out.resize(size);
  return out;
}

std::vector<uint8_t> random(size_t size) {
  std::mt19937_64 rng(2);
  std::vector<uint8_t> out(size);
  for (auto& b : out) b = static_cast<uint8_t>(rng());
  return out;
}

}  // namespace

std::vector<CorpusFile> makeCorpus(size_t bytesEach) {
  std::vector<uint8_t> text = gather("/usr/share/doc", bytesEach, isText, false);
  if (text.size() < bytesEach) {
    std::vector<uint8_t> more = gather("/usr/share/common-licenses", bytesEach, anyFile, false);
    text.insert(text.end(), more.begin(), more.end());
  }
  return {{"text", text},
          {"binaries", gather("/usr/bin", bytesEach, anyFile, false)},
          {"include-tar", gather("/usr/include", bytesEach, isHeader, true)},
          {"repetitive", repetitive(bytesEach)},
          {"random", random(bytesEach / 2)}};
}
