// Entry names: decoding the stored bytes and splitting folder from file.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace extractor {

// Flag bit 11 marks a UTF-8 name; any other name is in the ANSI code page.
std::u16string DecodeEntryName(std::string_view raw, uint16_t flags);

// fileName: what follows the last "\" or "/" (empty for a folder entry);
// directoryName: the rest with its trailing separator, less a leading "X:\".
void SplitEntryName(const std::u16string& name, std::u16string& directoryName,
                    std::u16string& fileName);

}  // namespace extractor
