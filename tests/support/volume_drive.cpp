#include "volume_drive.h"

#include <cstdlib>

namespace extractor::test {

VolumeDrive::VolumeDrive() {
#ifdef _WIN32
  const char* drive = std::getenv("EXTRACTOR_TEST_DRIVE");
  if (!drive || !*drive) return;
  root_ = std::filesystem::path(std::string(drive) + "\\");
#else
  temp_ = std::make_unique<TempDir>();
  root_ = temp_->path();
  previousCurrent_ = std::filesystem::current_path();
  std::filesystem::current_path(root_);
#endif
}

VolumeDrive::~VolumeDrive() {
  std::error_code ignored;
  std::filesystem::remove(root_ / ".windows-label", ignored);
  if (!previousCurrent_.empty()) std::filesystem::current_path(previousCurrent_);
}

std::u16string VolumeDrive::archivePath(const std::string& name) const {
  return widen(root_ / name);
}

void VolumeDrive::setLabel(const std::string& label) {
  writeBytes(root_ / ".windows-label", bytesOf(label + "\n"));
}

}  // namespace extractor::test
