#include "engine/paths.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "temp_dir.h"

namespace extractor::test {
namespace {

namespace fs = std::filesystem;

TEST(Paths, MakeDirectoriesCreatesEveryLevelButTheLast) {
  TempDir dir;
  MakeDirectories(dir.wide() + u"\\a/b\\c");
  EXPECT_TRUE(fs::is_directory(dir.path() / "a" / "b"));
  EXPECT_FALSE(fs::exists(dir.path() / "a" / "b" / "c"));
  // Existing levels are no obstacle.
  MakeDirectories(dir.wide() + u"\\a/b\\c/d/");
  EXPECT_TRUE(fs::is_directory(dir.path() / "a" / "b" / "c" / "d"));
}

TEST(Paths, MakeDirectoriesGoesOnPastALevelItCannotCreate) {
  TempDir dir;
  writeBytes(dir.path() / "file", bytesOf("x"));
  MakeDirectories(dir.wide() + u"\\file\\sub\\");
  EXPECT_FALSE(fs::exists(dir.path() / "file" / "sub"));
  MakeDirectories(u"");
}

// Levels shared with the path already made are taken as existing and not
// created again: with them missing, the deeper levels cannot be made.
TEST(Paths, MakeDirectoriesAfterCreatesOnlyTheLevelsNotShared) {
  struct Case {
    const char16_t* made;
    const char16_t* path;
    const char* exists;   // relative to the test's folder, or ""
    const char* missing;  // likewise
  };
  const Case cases[] = {
      {u"\\a\\b\\", u"\\a\\c\\d\\", "", "a"},   // a is shared, so not made
      {u"\\a/", u"\\a\\b\\", "", "a"},          // either separator
      {u"\\x\\", u"\\a\\c\\", "a/c", ""},       // nothing shared below the root
      {u"\\ab\\", u"\\a\\c\\", "a/c", ""},      // a name's start is no level
      {u"\\a\\b\\", u"\\a\\b\\file", "", "a"},  // the same folders
      {u"", u"\\a\\b", "a", "a/b"},             // nothing made yet
  };
  for (const Case& c : cases) {
    TempDir dir;
    MakeDirectoriesAfter(dir.wide() + c.path, dir.wide() + c.made);
    if (*c.exists) {
      EXPECT_TRUE(fs::is_directory(dir.path() / c.exists)) << c.exists;
    }
    if (*c.missing) {
      EXPECT_FALSE(fs::exists(dir.path() / c.missing)) << c.missing;
    }
  }
}

TEST(Paths, PrepareDestinationEndsWithABackslashAndCreatesTheFolder) {
  TempDir dir;
  EXPECT_EQ(PrepareDestination(dir.wide() + u"\\out/"), dir.wide() + u"\\out\\");
  EXPECT_TRUE(fs::is_directory(dir.path() / "out"));
  EXPECT_EQ(PrepareDestination(dir.wide() + u"\\out2"), dir.wide() + u"\\out2\\");
  EXPECT_TRUE(fs::is_directory(dir.path() / "out2"));
  EXPECT_EQ(PrepareDestination(dir.wide() + u"\\out3\\"), dir.wide() + u"\\out3\\");
  EXPECT_EQ(PrepareDestination(u""), u"\\");
}

}  // namespace
}  // namespace extractor::test
