// The download mark an archive passes on to the files taken out of it.
#pragma once

#include <string>
#include <string_view>

namespace extractor {

// From the text of an archive's Zone.Identifier stream, the one to give
// each extracted file: its zone, with the ReferrerUrl and HostUrl lines it
// has, when the zone is 3 (internet) or 4 (untrusted). Empty for any other
// zone, a text without a zone, or none: such files are not marked.
std::string CarriedZoneMark(std::string_view identifier);

}  // namespace extractor
