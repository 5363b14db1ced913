// Splits one line of a step script into words: blanks separate them, double
// quotes keep blanks inside one ("" is an empty word), and inside quotes \",
// \\, \r and \n stand for ", \, CR and LF. A line starting with # is a comment.
#pragma once

#include <string>
#include <vector>

namespace extractor::test {

// False when a quote is left open; words then holds what was read.
bool splitWords(const std::string& line, std::vector<std::string>& words);

}  // namespace extractor::test
