// Entry names on disk: every character of a name kept, whatever the code
// page, and names Windows cannot hold mended the same way everywhere.
#include <filesystem>
#include <set>

#include "extract_fixture.h"

namespace extractor::test {
namespace {

namespace fs = std::filesystem;

constexpr uint16_t kUtf8Flag = 1 << 11;

BuiltEntry utf8Entry(const std::string& name, const std::string& content) {
  BuiltEntry e = deflatedEntry(name, bytesOf(content));
  e.flags = kUtf8Flag;
  return e;
}

// Everything under root as UTF-8 relative paths, folders ending in "/".
std::set<std::string> treeUnder(const fs::path& root) {
  std::set<std::string> found;
  for (const fs::directory_entry& item : fs::recursive_directory_iterator(root)) {
    std::string name = fs::relative(item.path(), root).generic_u8string();
    found.insert(item.is_directory() ? name + "/" : name);
  }
  return found;
}

TEST_F(ExtractTest, NamesBeyondTheAnsiCodePageKeepEveryCharacter) {
  destination = "目的地-Ωμέγα";
  const std::string names[] = {
      "first.txt",
      "日本語.txt",
      "Ελληνικά/файл.txt",
      "Ελληνικά/Ünïcödé àéîõü ß.txt",
      "emoji-\xF0\x9F\x98\x80.txt",  // a surrogate pair in UTF-16
      "last.txt",
  };
  ZipBuilder b;
  for (const std::string& name : names) b.entries.push_back(utf8Entry(name, "data of " + name));
  // Without the flag, bytes 0x80-0xFF are characters of the ANSI code page.
  b.entries.push_back(
      storedEntry("Gr\xF6\xDF"
                  "e \x80.txt",
                  bytesOf("ansi")));
  ASSERT_EQ(extract(b), 0);
  for (const std::string& name : names) {
    EXPECT_EQ(extracted(name), bytesOf("data of " + name)) << name;
  }
  EXPECT_EQ(extracted("Größe €.txt"), bytesOf("ansi"));
  EXPECT_EQ(treeUnder(out("")).size(), std::size(names) + 2);  // and the folder
  EXPECT_EQ(window.warningsDialogs, 0);
  // The time is set through the same name.
  EXPECT_EQ(fs::last_write_time(out(names[4])), fs::last_write_time(out("first.txt")));
}

// Paths past the old 260-character limit are written whole; a component
// past the file system's 255 fails the entry and leaves nothing of it.
TEST_F(ExtractTest, LongPathsAreWrittenOverlongComponentsFail) {
  destination = "Zielordner-日本";
  size_t root = widen(dir.path() / fs::u8path(destination)).size() + 1;
  auto pathOf = [&](size_t length) {
    std::string name;
    while (root + name.size() + 101 < length) name += std::string(100, 'd') + "/";
    return name + std::string(length - root - name.size(), 'f');
  };
  const std::string medium = pathOf(300), longer = pathOf(600);
  ASSERT_EQ(widen(dir.path() / fs::u8path(destination) / fs::u8path(longer)).size(), 600u);
  const std::string component(255, 'c'), overlong(256, 'o');
  ZipBuilder b;
  b.entries.push_back(utf8Entry(medium, "three hundred"));
  b.entries.push_back(utf8Entry(longer, "six hundred"));
  b.entries.push_back(utf8Entry(component, "longest component"));
  b.entries.push_back(utf8Entry(overlong, "too long"));
  b.entries.push_back(utf8Entry("later.txt", "never reached"));
  EXPECT_EQ(extract(b), -1);
  EXPECT_EQ(zip.lastErrorText, u"Write failed");
  EXPECT_EQ(extracted(medium), bytesOf("three hundred"));
  EXPECT_EQ(extracted(longer), bytesOf("six hundred"));
  EXPECT_EQ(extracted(component), bytesOf("longest component"));
  // Nothing under a shortened name either. (Only the top level is listed:
  // the library's folder walk stops at 260 characters on Windows.)
  std::set<std::string> top;
  for (const auto& item : fs::directory_iterator(out("")))
    top.insert(item.path().filename().u8string());
  EXPECT_EQ(top, (std::set<std::string>{medium.substr(0, 100), longer.substr(0, 100), component}));
}

TEST_F(ExtractTest, NamesWindowsCannotHoldAreMended) {
  static const char kControls[] = "ctl\\tab\there\x01\x1F\0.txt";
  struct Case {
    std::string stored, extracted;
  } cases[] = {
      {"ab.txt:hidden", "ab.txt_hidden"},
      {"sub/NUL.txt", "sub/_NUL.txt"},
      {"COM1", "_COM1"},
      {"sub\\deeper\\lpt9\\aux.tar.gz", "sub/deeper/_lpt9/_aux.tar.gz"},
      {"sub/Con .txt", "sub/_Con .txt"},
      {"CONOUT$", "_CONOUT$"},
      {"COM\xC2\xB9.txt", "_COM\xC2\xB9.txt"},
      {"a*b?.txt", "a_b_.txt"},
      {"q/<in>|\"pipe\".txt", "q/_in___pipe_.txt"},
      {std::string(kControls, sizeof kControls - 1), "ctl/tab_here___.txt"},
      {"ends in a dot.", "ends in a dot"},
      {"ends in spaces  ", "ends in spaces"},
      {"folder. . /inside.txt", "folder/inside.txt"},
      {"x/ . /y.txt", "x/y.txt"},
      {"C:\\drive.txt", "drive.txt"},
      {"Z:\\tmp\\drive", "tmp/drive"},
  };
  ZipBuilder b;
  b.entries.push_back(utf8Entry("before.txt", "plain"));
  for (const Case& c : cases) b.entries.push_back(utf8Entry(c.stored, c.stored));
  b.entries.push_back(utf8Entry("after/after.txt", "plain"));
  ASSERT_EQ(extract(b), 0);

  std::set<std::string> expected = {
      "before.txt", "after/", "after/after.txt", "sub/", "sub/deeper/", "sub/deeper/_lpt9/",
      "q/",         "ctl/",   "folder/",         "x/",   "tmp/"};
  for (const Case& c : cases) {
    EXPECT_EQ(extracted(c.extracted), bytesOf(c.stored)) << c.extracted;
    expected.insert(c.extracted);
  }
  EXPECT_EQ(treeUnder(out("")), expected);
  EXPECT_EQ(treeUnder(dir.path()).size(), expected.size() + 2);  // setup.exe and out
  size_t corrected = 0;
  for (size_t at = 0;
       (at = window.shownWarnings.find(u": Unsafe Path Corrected", at)) != std::u16string::npos;
       at++) {
    corrected++;
  }
  EXPECT_EQ(corrected, std::size(cases));
  EXPECT_EQ(window.shownWarnings.find(u"after.txt"), std::u16string::npos);
  EXPECT_EQ(window.shownWarnings.find(u"before.txt"), std::u16string::npos);
}

TEST_F(ExtractTest, NamesMendedIntoOneFollowTheOverwriteSetting) {
  ZipBuilder b;
  b.entries.push_back(utf8Entry("clash?.txt", "first"));
  b.entries.push_back(utf8Entry("clash*.txt", "second"));
  ASSERT_EQ(extract(b), 0);
  EXPECT_EQ(extracted("clash_.txt"), bytesOf("first"));
  EXPECT_EQ(window.shownWarnings,
            u"clash?.txt: Unsafe Path Corrected\r\nclash*.txt: Unsafe Path CorrectedFile Exists");
  ASSERT_EQ(run(true), 0);
  EXPECT_EQ(extracted("clash_.txt"), bytesOf("second"));
}

}  // namespace
}  // namespace extractor::test
