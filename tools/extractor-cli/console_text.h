// Engine text on the console: UTF-16 in, UTF-8 out.
#pragma once

#include <cstdio>
#include <string_view>

namespace extractor::cli {

// Writes text and a line end; the "\r\n" between lines of a dialog text
// become plain line ends.
void printLine(std::FILE* stream, std::u16string_view text);

}  // namespace extractor::cli
