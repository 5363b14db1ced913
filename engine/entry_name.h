// Entry names: decoding the stored bytes and splitting folder from file.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace extractor {

// The name as its writer meant it, in this order: flag bit 11 marks a UTF-8
// name; an Info-ZIP Unicode Path extra field (0x7075) whose CRC-32 matches
// the stored name carries its UTF-8 form; a name written on Unix or macOS
// ("version made by") that is well-formed UTF-8 beyond ASCII is taken as
// UTF-8, as those systems name their files; any other name is in the ANSI
// code page. centralExtra is the extra field of the central header.
std::u16string DecodeEntryName(std::string_view raw, uint16_t flags, uint16_t versionMadeBy,
                               std::string_view centralExtra);

// fileName: what follows the last "\" or "/" (empty for a folder entry);
// directoryName: the rest with its trailing separator, less a leading "X:\".
// True when that prefix was removed.
bool SplitEntryName(const std::u16string& name, std::u16string& directoryName,
                    std::u16string& fileName);

}  // namespace extractor
