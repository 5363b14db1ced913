#include "platform/console.h"

#include <termios.h>
#include <unistd.h>

#include <cstdio>

namespace extractor::platform {

std::vector<std::string> commandLineArguments(int argc, char** argv) {
  return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc);
}

void useUtf8Output() {}

bool stdinIsTerminal() {
  return isatty(STDIN_FILENO) == 1;
}

std::optional<std::string> readPassword(const std::string& prompt) {
  // Echo goes off before the prompt shows, so nothing typed after it is
  // echoed, and typed-ahead text is kept for a script that answers at once.
  termios saved{};
  bool quiet = tcgetattr(STDIN_FILENO, &saved) == 0;
  if (quiet) {
    termios noEcho = saved;
    noEcho.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    noEcho.c_lflag |= ECHONL;
    quiet = tcsetattr(STDIN_FILENO, TCSANOW, &noEcho) == 0;
  }
  std::fputs(prompt.c_str(), stderr);
  std::fflush(stderr);
  std::string line;
  int c;
  while ((c = std::getchar()) != EOF && c != '\n') line += static_cast<char>(c);
  if (quiet) tcsetattr(STDIN_FILENO, TCSANOW, &saved);
  if (c == EOF && line.empty()) return std::nullopt;
  return line;
}

}  // namespace extractor::platform
