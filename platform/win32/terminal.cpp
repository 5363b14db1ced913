// In a file of its own: extractor-cli asks for it alone, without taking in
// the packer's other needs (on Windows its random source, bcrypt.dll).
#include "platform/host.h"

#include <windows.h>

namespace extractor::platform {

bool stderrIsTerminal() {
  DWORD mode;
  return GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}

}  // namespace extractor::platform
