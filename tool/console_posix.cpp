// POSIX console: argv as given, unbuffered writes to file descriptor 1.
#include <unistd.h>

#include <cerrno>
#include <csignal>

#include "console.h"

namespace korvale {

void prepareConsole() { std::signal(SIGPIPE, SIG_IGN); }

std::vector<std::string> programArguments(int argc, char** argv) {
  return {argv + (argc > 0 ? 1 : 0), argv + argc};
}

bool writeStandardOutput(std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(STDOUT_FILENO, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

void writeStandardError(std::string_view text) {
  [[maybe_unused]] ssize_t ignored = ::write(STDERR_FILENO, text.data(), text.size());
}

}  // namespace korvale
