// POSIX console: argv as given, unbuffered writes to file descriptors 1 and 2.
#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <sched.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <initializer_list>
#include <thread>

#include "console.h"

namespace korvale::batch {
namespace {

bool writeAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

std::atomic<int> interrupt{0};  // the signal received first

extern "C" void onInterrupt(int signal) {
  if (interrupt.exchange(signal) == 0) return;
  // A second: end now, by the signal's own action. Each write of the digits is a single
  // system call, so none is cut in two.
  ::signal(signal, SIG_DFL);
  ::raise(signal);
}

// Waits for bytes a tenth of a second at a time, so that an interrupt ends the wait on a list
// that a producer has stopped feeding without closing it.
bool waitForBytes(int fd) {
  for (;;) {
    pollfd watched{fd, POLLIN, 0};
    if (::poll(&watched, 1, 100) != 0) return true;  // bytes, the end or an error: read says
    if (interrupt.load() != 0) return false;
  }
}

class FileSource final : public ByteSource {
 public:
  FileSource(int fd, bool owned) : fd_(fd), owned_(owned) {}
  ~FileSource() override {
    if (owned_) ::close(fd_);
  }
  FileSource(const FileSource&) = delete;
  FileSource& operator=(const FileSource&) = delete;

  int64_t read(std::span<char> buffer) override {
    if (!waitForBytes(fd_)) return 0;
    ssize_t n;
    do n = ::read(fd_, buffer.data(), buffer.size());
    while (n < 0 && errno == EINTR);
    return n;
  }

 private:
  int fd_;
  bool owned_;
};

}  // namespace

std::string_view programName() { return "korvale-batch"; }

PathForm pathForm() { return PathForm::kBytes; }

void prepareConsole() { std::signal(SIGPIPE, SIG_IGN); }

void catchInterrupts() {
  struct sigaction action {};
  action.sa_handler = onInterrupt;
  action.sa_flags = SA_RESTART;
  sigemptyset(&action.sa_mask);
  for (const int signal : {SIGINT, SIGTERM, SIGHUP}) ::sigaction(signal, &action, nullptr);
}

int interruptStatus() {
  const int signal = interrupt.load();
  return signal == 0 ? 0 : 128 + signal;  // as a shell reports a program the signal ended
}

std::string_view interruptName() {
  switch (interrupt.load()) {
    case SIGINT:
      return "SIGINT";
    case SIGTERM:
      return "SIGTERM";
    case SIGHUP:
      return "SIGHUP";
    default:
      return "";
  }
}

std::vector<std::string> programArguments(int argc, char** argv) {
  return {argv + (argc > 0 ? 1 : 0), argv + argc};
}

bool writeOutput(std::string_view bytes) { return writeAll(STDOUT_FILENO, bytes); }

void writeError(std::string_view text) { writeAll(STDERR_FILENO, text); }

bool outputIsTerminal() { return ::isatty(STDOUT_FILENO) == 1; }

bool errorIsTerminal() { return ::isatty(STDERR_FILENO) == 1; }

unsigned processorCount() {
  cpu_set_t set;
  if (::sched_getaffinity(0, sizeof set, &set) == 0 && CPU_COUNT(&set) > 0) {
    return static_cast<unsigned>(CPU_COUNT(&set));
  }
  return std::max(1u, std::thread::hardware_concurrency());
}

std::unique_ptr<ByteSource> openList(const std::string& name, std::string& error) {
  if (name == "-") return std::make_unique<FileSource>(STDIN_FILENO, false);
  const int fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    error = "cannot open '" + name + "': " + std::strerror(errno);
    return nullptr;
  }
  return std::make_unique<FileSource>(fd, true);
}

// PATH_MAX counts the terminating NUL.
std::size_t longestPath() { return PATH_MAX - 1; }

bool listLinesMayEndWithCarriageReturn() { return false; }

std::string pathFromListEntry(std::string entry) { return entry; }

}  // namespace korvale::batch
