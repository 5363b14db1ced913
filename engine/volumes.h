// Spanned archives: the names of volume files beside the archive.
#pragma once

#include <cstdint>
#include <string>

namespace extractor {

// The file of volume k of diskCount: the archive's name with its last three
// characters replaced by "zip" for the last volume and by k's three digits
// otherwise; a name without any "." gets ".001" first.
std::u16string VolumeFileName(const std::u16string& archivePath, int32_t volume, int32_t diskCount);

}  // namespace extractor
