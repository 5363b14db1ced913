#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "engine/zip.h"
#include "temp_dir.h"
#include "volume_drive.h"

namespace extractor::test {
namespace {

TEST(VolumeLabel, DiskNumberComesFromTheLastThreeCharacters) {
  Zip zip;
  struct Case {
    std::u16string label;
    int32_t disk;
  } cases[] = {{u"BACKUP 003", 3}, {u"DISK", 0}, {u"D2", 0},
               {u"SET#12", 12},    {u"002", 2},  {u"", 0}};
  for (const Case& c : cases) {
    zip.volumeLabel = c.label;
    zip.currentDisk = 99;
    zip.DiskFromLabel();
    EXPECT_EQ(zip.currentDisk, c.disk);
  }
}

TEST(VolumeLabel, ReadsTheLabelOfTheArchivesDrive) {
  VolumeDrive drive;
  if (!drive.available()) GTEST_SKIP() << "no drive whose label can be exchanged";
  Zip zip;
  drive.setLabel("DISK002");
  zip.ReadVolumeLabel(drive.archivePath("setup.exe"));
  EXPECT_EQ(zip.volumeLabel, u"DISK002");
  zip.DiskFromLabel();
  EXPECT_EQ(zip.currentDisk, 2);
  drive.setLabel("DISK003");
  zip.ReadVolumeLabel(drive.archivePath("setup.exe"));
  EXPECT_EQ(zip.volumeLabel, u"DISK003");
  zip.ReadVolumeLabel(u"");
  EXPECT_EQ(zip.volumeLabel, u"");
}

}  // namespace
}  // namespace extractor::test
