#include <gtest/gtest.h>

#include "engine/dos_time.h"
#include "engine/entry_name.h"
#include "engine/volumes.h"

namespace extractor::test {
namespace {

TEST(SplitEntryName, SeparatesFolderFromFileAndDropsADrivePrefix) {
  struct Case {
    std::u16string name, dir, file;
  } cases[] = {
      {u"docs/readme.txt", u"docs/", u"readme.txt"},
      {u"a\\b/c.txt", u"a\\b/", u"c.txt"},
      {u"C:\\tmp\\x.dat", u"tmp\\", u"x.dat"},
      {u"dir/", u"dir/", u""},
      {u"x.txt", u"", u"x.txt"},
      {u"C:\\", u"", u""},
      {u"C:x.txt", u"", u"C:x.txt"},
  };
  for (const Case& c : cases) {
    std::u16string dir = u"old", file = u"old";
    SplitEntryName(c.name, dir, file);
    EXPECT_EQ(dir, c.dir);
    EXPECT_EQ(file, c.file);
  }
}

TEST(DosTime, ConvertsToOleDates) {
  EXPECT_DOUBLE_EQ(DosTimeToDate(2000, 3, 1, 12, 0, 0, 0), 36586.5);
  EXPECT_DOUBLE_EQ(DosTimeToDate(1899, 12, 30, 0, 0, 0, 0), 0.0);
  // January and February of a leap year count one day less.
  EXPECT_DOUBLE_EQ(DosTimeToDate(2000, 2, 29, 0, 0, 0, 0), 36585.0);
  EXPECT_DOUBLE_EQ(DosTimeToDate(2024, 1, 1, 18, 0, 0, 0), 45292.75);
  // Date 0 is no calendar date: 1601-01-01 stands in.
  EXPECT_DOUBLE_EQ(DosFieldsToDate(0, 0), -109207.0);
  EXPECT_DOUBLE_EQ(DosFieldsToDate((20 << 9) | (3 << 5) | 1, 12 << 11), 36586.5);
  // 2001-02-29 and 24:00 are invalid too.
  EXPECT_DOUBLE_EQ(DosFieldsToDate((21 << 9) | (2 << 5) | 29, 0), -109207.0);
  EXPECT_DOUBLE_EQ(DosFieldsToDate((21 << 9) | (2 << 5) | 28, 24 << 11), -109207.0);
}

TEST(DosTime, FileTimesCountFrom1601WithoutTimeZones) {
  // 2000-03-01 12:00 UTC in 100-ns ticks since 1601.
  EXPECT_EQ(DateToFileTime(36586.5), 125963856000000000ull);
  EXPECT_EQ(DateToFileTime(-109205.0), 0ull);
  EXPECT_EQ(DateToFileTime(-109207.0), 0ull);
}

TEST(DosTime, FileTimesKeepEveryStoredSecond) {
  // Every second of a day through the DOS fields: the time of day must come
  // back whole, not a tick short of it.
  constexpr uint64_t kTicksPerSecond = 10000000;
  uint64_t midnight = DateToFileTime(DosFieldsToDate(0x5A21, 0));  // 2025-01-01
  for (uint16_t dosTime = 0; dosTime < (24 << 11); dosTime++) {
    uint32_t seconds = (dosTime >> 11) * 3600 + ((dosTime >> 5) & 63) * 60 + 2 * (dosTime & 31);
    if (((dosTime >> 5) & 63) >= 60 || (dosTime & 31) >= 30) continue;
    ASSERT_EQ(DateToFileTime(DosFieldsToDate(0x5A21, dosTime)) - midnight,
              seconds * kTicksPerSecond)
        << "DOS time " << dosTime;
  }
}

TEST(VolumeNames, FollowTheArchiveName) {
  EXPECT_EQ(VolumeFileName(u"C:\\dist\\setup.exe", 1, 4), u"C:\\dist\\setup.001");
  EXPECT_EQ(VolumeFileName(u"C:\\dist\\setup.exe", 4, 4), u"C:\\dist\\setup.zip");
  EXPECT_EQ(VolumeFileName(u"C:\\dist\\setup", 2, 4), u"C:\\dist\\setup.002");
  EXPECT_EQ(VolumeFileName(u"C:\\dist\\setup", 4, 4), u"C:\\dist\\setup.zip");
  // A dot in a folder name is enough: the file name itself loses three characters.
  EXPECT_EQ(VolumeFileName(u"C:\\my.dir\\setup", 2, 4), u"C:\\my.dir\\se002");
  EXPECT_EQ(VolumeFileName(u"a.exe", 123, 200), u"a.123");
}

}  // namespace
}  // namespace extractor::test
