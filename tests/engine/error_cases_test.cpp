// The errors a user meets when a target cannot be written, each with the
// message that says why, and what stays on disk afterwards.
#include <filesystem>
#include <functional>
#include <memory>

#include "extract_fixture.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace extractor::test {
namespace {

namespace fs = std::filesystem;

// Holds a file the way another program would: on Windows open without
// sharing, on Linux run as a program (its file cannot be written then).
class HeldFile {
 public:
  explicit HeldFile(const fs::path& path) {
#ifdef _WIN32
    writeBytes(path, bytesOf("held"));
    handle_ =
        CreateFileW(path.wstring().c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
#else
    fs::copy_file("/bin/sleep", path);
    std::string program = path.string();
    char* args[] = {program.data(), const_cast<char*>("30"), nullptr};
    if (posix_spawn(&child_, program.c_str(), nullptr, nullptr, args, environ) != 0) child_ = 0;
    usleep(200000);  // until the program runs
#endif
  }
  ~HeldFile() {
#ifdef _WIN32
    if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
#else
    if (child_ > 0) {
      kill(child_, SIGKILL);
      waitpid(child_, nullptr, 0);
    }
#endif
  }

 private:
#ifdef _WIN32
  HANDLE handle_ = INVALID_HANDLE_VALUE;
#else
  pid_t child_ = 0;
#endif
};

std::string folders(size_t levels) {
  std::string name;
  for (size_t i = 0; i < levels; i++) name += "a/";
  return name;
}

TEST_F(ExtractTest, ErrorsSayWhyATargetCannotBeWritten) {
  struct Case {
    const char* what;
    std::string entryName;
    // Makes the obstacle inside the destination; false when this system
    // cannot have it.
    std::function<bool(const fs::path&)> prepare;
    bool overwrite;
    std::u16string message;
    bool targetStays;  // the file there before stays as it was
  };
  std::unique_ptr<HeldFile> held;
  const Case cases[] = {
      {"a full disk", "full.bin",
       [](const fs::path& out) {
         std::error_code error;
         fs::create_symlink("/dev/full", out / "full.bin", error);
         return !error && fs::exists("/dev/full");
       },
       true, u"Disk full", false},
      {"a file another program holds", "held.exe",
       [&held](const fs::path& out) {
         held = std::make_unique<HeldFile>(out / "held.exe");
         return fs::exists(out / "held.exe");
       },
       true, u"The specified file has been opened by another application", true},
      {"a folder where a file goes", "blocked/x.txt",
       [](const fs::path& out) {
         writeBytes(out / "blocked", bytesOf("a file"));
         return true;
       },
       false, u"Write failed", true},
      {"a path longer than the system can name", folders(17000) + "f",
       [](const fs::path&) { return true; }, false, u"Write failed", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove_all(out(""));
    fs::create_directories(out(""));
    if (!c.prepare(out(""))) {
      std::printf("skipped: %s cannot be had here\n", c.what);
      continue;
    }
    ZipBuilder b;
    b.entries.push_back(storedEntry(c.entryName, sampleData(100000)));
    EXPECT_EQ(extract(b, c.overwrite), -1);
    EXPECT_EQ(zip.lastErrorText, c.message);
    if (c.targetStays) {
      EXPECT_TRUE(fs::exists(out(c.entryName.substr(0, c.entryName.find('/')))));
    }
    // Nothing was made for a path too long to name.
    EXPECT_FALSE(fs::exists(out("a")));
    held.reset();
    zip.Reset();
  }
}

// Hundreds of levels, past the old 260-character limit: each level is made
// inside the one before, and an entry that shares most of them with the one
// before adds only the levels it does not share.
TEST_F(ExtractTest, HundredsOfFolderLevelsAreMade) {
  ZipBuilder b;
  b.entries.push_back(storedEntry(folders(300) + "f", bytesOf("deep")));
  b.entries.push_back(storedEntry(folders(298) + "b/g", bytesOf("beside")));
  ASSERT_EQ(extract(b, false), 0);
  EXPECT_EQ(readBytes(out(folders(300) + "f")), bytesOf("deep"));
  EXPECT_EQ(readBytes(out(folders(298) + "b/g")), bytesOf("beside"));
}

}  // namespace
}  // namespace extractor::test
