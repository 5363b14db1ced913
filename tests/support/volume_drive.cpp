#include "volume_drive.h"

#include <chrono>
#include <cstdlib>

#include "platform/volume.h"

namespace extractor::test {

VolumeDrive::VolumeDrive() {
#ifdef _WIN32
  const char* drive = std::getenv("EXTRACTOR_TEST_DRIVE");
  if (!drive || !*drive) return;
  root_ = std::filesystem::path(std::string(drive) + "\\");
  // Wine reads the label file once and keeps what it found for the rest of
  // the process, so a drive whose label cannot be seen changing is no use.
  // A label of this moment, so that one kept from an earlier run cannot pass.
  std::string probe =
      "P" + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count() % 100000000);
  setLabel(probe);
  std::u16string root = {static_cast<char16_t>(drive[0]), u':', u'\\'};
  if (platform::volumeLabel(root) != std::u16string(probe.begin(), probe.end())) root_.clear();
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
