#include "engine/volumes.h"

#include "engine/zip.h"
#include "platform/volume.h"

namespace extractor {

std::u16string VolumeFileName(const std::u16string& archivePath, int32_t volume,
                              int32_t diskCount) {
  std::u16string name = archivePath;
  if (name.find(u'.') == std::u16string::npos) name += u".001";
  std::u16string suffix = u"zip";
  if (volume != diskCount) {
    suffix = {static_cast<char16_t>(u'0' + volume / 100 % 10),
              static_cast<char16_t>(u'0' + volume / 10 % 10),
              static_cast<char16_t>(u'0' + volume % 10)};
  }
  return name.replace(name.size() >= 3 ? name.size() - 3 : 0, 3, suffix);
}

void Zip::ReadVolumeLabel(const std::u16string& path) {
  volumeLabel.clear();
  if (path.empty()) return;
  std::u16string root;
  if (path.size() >= 2 && path[1] == u':') root = {path[0], u':', u'\\'};
  volumeLabel = platform::volumeLabel(root);
}

void Zip::DiskFromLabel() {
  currentDisk = 0;
  if (volumeLabel.size() < 3) return;
  for (size_t i = volumeLabel.size() - 3; i < volumeLabel.size(); i++) {
    char16_t c = volumeLabel[i];
    if (c >= u'0' && c <= u'9') currentDisk = currentDisk * 10 + (c - u'0');
  }
}

}  // namespace extractor
