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
