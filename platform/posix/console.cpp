#include "platform/console.h"

#include <termios.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>

namespace extractor::platform {
namespace {

constexpr int kInterrupts[] = {SIGINT, SIGTERM, SIGHUP};

std::atomic<int32_t>* interruptFlag = nullptr;
volatile std::sig_atomic_t caughtSignal = 0;

extern "C" void abortOnInterrupt(int signal) {
  caughtSignal = signal;
  if (interruptFlag) interruptFlag->store(-1);
}

}  // namespace

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

void catchInterrupts(std::atomic<int32_t>* abortFlag) {
  interruptFlag = abortFlag;
  struct sigaction action {};
  sigemptyset(&action.sa_mask);
  // Without SA_RESTART a read from the terminal (the password prompt) ends
  // at once; SA_RESETHAND lets the second signal end the program.
  action.sa_flags = SA_RESETHAND;
  action.sa_handler = abortFlag ? abortOnInterrupt : SIG_DFL;
  for (int signal : kInterrupts) sigaction(signal, &action, nullptr);
}

int interruptStatus() {
  return caughtSignal ? 128 + caughtSignal : 0;
}

}  // namespace extractor::platform
