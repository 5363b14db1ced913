// A drive whose volume label a test can change, to simulate exchanging
// disks. On Linux the label of the current volume is a file in the current
// folder, so the drive is a temporary folder made current. Under Wine the
// test run maps a drive letter to a folder (EXTRACTOR_TEST_DRIVE, "V:"),
// whose label Wine reads from the same kind of file; where the system does
// not show a change of that file while the process runs, the drive is not
// available.
#pragma once

#include <filesystem>
#include <memory>
#include <string>

#include "temp_dir.h"

namespace extractor::test {

class VolumeDrive {
 public:
  VolumeDrive();
  ~VolumeDrive();

  bool available() const { return !root_.empty(); }
  // Where files on the drive go, and a path of one of them as the engine takes it.
  std::filesystem::path folder() const { return root_; }
  std::u16string archivePath(const std::string& name) const;
  void setLabel(const std::string& label);

 private:
  std::unique_ptr<TempDir> temp_;
  std::filesystem::path root_;
  std::filesystem::path previousCurrent_;
};

}  // namespace extractor::test
