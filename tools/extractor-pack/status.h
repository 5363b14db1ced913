// Errors as values: a step returns the message of what went wrong, or
// nothing when it succeeded.
#pragma once

#include <optional>
#include <string>

namespace extractor::pack {

using Error = std::optional<std::string>;

}  // namespace extractor::pack
