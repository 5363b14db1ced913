#include "engine/windows_names.h"

#include <algorithm>
#include <iterator>

namespace extractor {
namespace {

bool isForbidden(char16_t c) {
  return c < 0x20 || c == u'<' || c == u'>' || c == u':' || c == u'"' || c == u'|' || c == u'?' ||
         c == u'*';
}

char16_t upper(char16_t c) {
  return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - u'a' + u'A') : c;
}

// COM and LPT take a digit or one of the superscripts the system also
// reads as a port number.
bool isPortNumber(char16_t c) {
  return (c >= u'0' && c <= u'9') || c == u'\u00B9' || c == u'\u00B2' || c == u'\u00B3';
}

// The system looks at the name before the first dot, less trailing spaces.
bool isReservedDevice(const std::u16string& component) {
  std::u16string base = component.substr(0, component.find(u'.'));
  while (!base.empty() && base.back() == u' ') base.pop_back();
  std::transform(base.begin(), base.end(), base.begin(), upper);
  static const char16_t* const kDevices[] = {u"CON", u"PRN", u"AUX", u"NUL", u"CONIN$", u"CONOUT$"};
  if (std::find(std::begin(kDevices), std::end(kDevices), base) != std::end(kDevices)) return true;
  return base.size() == 4 && (base.compare(0, 3, u"COM") == 0 || base.compare(0, 3, u"LPT") == 0) &&
         isPortNumber(base[3]);
}

}  // namespace

bool MendForWindows(std::u16string& component) {
  bool changed = false;
  for (char16_t& c : component) {
    if (isForbidden(c)) {
      c = u'_';
      changed = true;
    }
  }
  while (!component.empty() && (component.back() == u'.' || component.back() == u' ')) {
    component.pop_back();
    changed = true;
  }
  if (isReservedDevice(component)) {
    component.insert(component.begin(), u'_');
    changed = true;
  }
  return changed;
}

}  // namespace extractor
