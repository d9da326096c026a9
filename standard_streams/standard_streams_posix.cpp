// POSIX: /dev/null, opened the other way round (read-only for an output, write-only for the
// input), takes the place of a closed 0, 1 or 2, so that writing or reading it fails with
// EBADF just as it did while closed.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "standard_streams.h"

namespace korvale {

void secureStandardStreams() noexcept {
  for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
    if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    // The lowest free descriptor is `fd` itself: the ones below it are open by now.
    const int placeholder =
        ::open("/dev/null", (fd == STDIN_FILENO ? O_WRONLY : O_RDONLY) | O_NOCTTY);
    if (placeholder != fd) ::_exit(1);
  }
}

}  // namespace korvale
