// In a file of its own: extractor-cli asks for it alone, without taking in
// the packer's other needs (on Windows its random source, bcrypt.dll).
#include "platform/host.h"

#include <unistd.h>

namespace extractor::platform {

bool stderrIsTerminal() {
  return isatty(STDERR_FILENO) == 1;
}

}  // namespace extractor::platform
