#include "engine/string_list.h"

namespace extractor {

int32_t StringList::Add(std::u16string_view text) {
  if (separator_.empty()) {
    items_.emplace_back(text);
    return 0;
  }
  size_t start = 0;
  for (size_t found; (found = text.find(separator_, start)) != std::u16string_view::npos;) {
    items_.emplace_back(text.substr(start, found - start));
    start = found + separator_.size();
  }
  items_.emplace_back(text.substr(start));
  return 0;
}

std::u16string StringList::Join() const {
  std::u16string out;
  for (size_t i = 0; i < items_.size(); i++) {
    if (i) out += separator_;
    out += items_[i];
  }
  return out;
}

int32_t StringList::Item(int32_t index, std::u16string& item) const {
  if (index < 1 || index > Count()) return -1;
  item = items_[static_cast<size_t>(index - 1)];
  return 0;
}

}  // namespace extractor
