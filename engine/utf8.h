// UTF-8, as names flagged so in the archive and the command-line runner's
// arguments and output are written, to and from the engine's UTF-16 text.
#pragma once

#include <string>
#include <string_view>

namespace extractor {

// Malformed sequences become U+FFFD, one per byte that starts no valid
// sequence, so a bad name still extracts under some name.
std::u16string decodeUtf8(std::string_view raw);

// True when raw is well-formed UTF-8 with at least one character beyond
// ASCII: text that another 8-bit code page would most likely not give.
bool isUtf8Text(std::string_view raw);

// An unpaired surrogate becomes U+FFFD.
std::string encodeUtf8(std::u16string_view text);

}  // namespace extractor
