// StringList: an ordered list of texts with an optional separator, used for
// an entry's warnings, the warnings report, and splitting and joining paths.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace extractor {

class StringList {
 public:
  int32_t Count() const { return static_cast<int32_t>(items_.size()); }
  void SetSeparator(std::u16string_view separator) { separator_ = separator; }
  const std::u16string& Separator() const { return separator_; }

  // Appends the pieces of text between separators; the whole text when no
  // separator is set. Always 0.
  int32_t Add(std::u16string_view text);

  std::u16string Join() const;

  // 1-based; 0 and the copy, or -1 and nothing outside 1..Count.
  int32_t Item(int32_t index, std::u16string& item) const;

  // Removes the items; the separator stays.
  void Clear() { items_.clear(); }

 private:
  std::vector<std::u16string> items_;
  std::u16string separator_;
};

}  // namespace extractor
