// POSIX file access: stat(2) (or a folder's listing), then open(2) of an existing regular file plus
// a non-blocking flock(2), which refuses a second opener even within the same process (the lock
// belongs to the open file).
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <new>
#include <utility>

#include "data_file.h"

namespace korvale {
namespace {

FileStamp stampOf(const struct stat& st) {
  return FileStamp{static_cast<uint64_t>(st.st_size),
                   st.st_mtim.tv_sec * 1'000'000'000LL + st.st_mtim.tv_nsec,
                   st.st_ctim.tv_sec * 1'000'000'000LL + st.st_ctim.tv_nsec};
}

class PosixDataFile final : public DataFile {
 public:
  // `opened` is the state taken under the lock when opening: the first stamp asked for, which
  // saves a system call per file.
  PosixDataFile(int fd, FileStamp opened) : fd_(fd), opened_(opened) {}
  ~PosixDataFile() override { ::close(fd_); }
  PosixDataFile(const PosixDataFile&) = delete;
  PosixDataFile& operator=(const PosixDataFile&) = delete;

  std::optional<FileStamp> stamp() override {
    if (opened_) return std::exchange(opened_, std::nullopt);
    struct stat st {};
    if (::fstat(fd_, &st) != 0) return std::nullopt;
    return stampOf(st);
  }

  int64_t readAt(uint64_t offset, std::span<uint8_t> buffer) override {
    ssize_t n;
    do n = ::pread(fd_, buffer.data(), buffer.size(), static_cast<off_t>(offset));
    while (n < 0 && errno == EINTR);
    return n;
  }

  int64_t writeAt(uint64_t offset, std::span<const uint8_t> data) override {
    ssize_t n;
    do n = ::pwrite(fd_, data.data(), data.size(), static_cast<off_t>(offset));
    while (n < 0 && errno == EINTR);
    return n;
  }

  // Data and size, not the times: all a later reader needs to find the digits.
  bool flush() override {
    int result;
    do result = ::fdatasync(fd_);
    while (result != 0 && errno == EINTR);
    return result == 0;
  }

 private:
  int fd_;
  std::optional<FileStamp> opened_;
};

// Root may open any file for writing; a file without any write permission bit still counts
// as read-only, as it would for its owner.
bool writable(const struct stat& st) {
  if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) != 0) return true;
  return ::geteuid() != 0;  // open(O_RDWR) has already checked
}

// Whether the name leads to a regular file, and which: nothing when it does not.
std::optional<ListedFile> look(const std::string& name) {
  struct stat st {};
  if (::stat(name.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
  return ListedFile{static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino)};
}

bool is(const struct stat& st, const ListedFile& file) {
  return static_cast<uint64_t>(st.st_dev) == file.device &&
         static_cast<uint64_t>(st.st_ino) == file.inode;
}

// Opens `name` with `access` (O_RDWR or O_RDONLY) and holds the flock `lock`. `looked` is the
// regular file the name led to when looked at (a stat, or a folder's listing): opening a FIFO
// releases a writer blocked on it, and opening a device (a tape, a serial line, a watchdog)
// may act on it, so only a name seen as a regular file is opened at all. A name looked at with
// stat may be a link and is followed, as stat followed it; a listed name was no link, so one
// found there now is a changed entry and is not followed to whatever it leads to.
std::unique_ptr<DataFile> openRegularFile(const std::string& name, int access, int lock,
                                          ListedFile looked, bool listed) {
  // The name may lead elsewhere by the time it is opened: O_NONBLOCK keeps the open from
  // waiting on a FIFO put there meanwhile, and the file opened must be the one looked at.
  const int follow = listed ? O_NOFOLLOW : 0;
  int fd = ::open(name.c_str(), access | follow | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return nullptr;
  // Locked first, so that the state taken next is one no cooperating writer can change.
  struct stat st {};
  const bool held = ::flock(fd, lock | LOCK_NB) == 0 && ::fstat(fd, &st) == 0 &&
                    S_ISREG(st.st_mode) && (access != O_RDWR || writable(st));
  // A listing may number its files otherwise than stat does (an overlay file system gives
  // the inode of the layer below): a stat, now, then tells which file the name leads to.
  std::optional<ListedFile> now;
  if (!held || !(is(st, looked) || (listed && (now = look(name)) && is(st, *now)))) {
    ::close(fd);
    return nullptr;
  }
  // Without memory for the object the descriptor, and its lock, must not stay behind.
  std::unique_ptr<DataFile> file(new (std::nothrow) PosixDataFile(fd, stampOf(st)));
  if (!file) ::close(fd);
  return file;
}

}  // namespace

std::unique_ptr<DataFile> openDataFileExclusive(const std::string& name) {
  const std::optional<ListedFile> looked = look(name);
  return looked ? openRegularFile(name, O_RDWR, LOCK_EX, *looked, false) : nullptr;
}

std::unique_ptr<DataFile> openDataFileForReading(const std::string& name) {
  const std::optional<ListedFile> looked = look(name);
  return looked ? openRegularFile(name, O_RDONLY, LOCK_SH, *looked, false) : nullptr;
}

// The listing's word that the name is a regular file stands for the stat: either is taken
// before the open, and the name may lead elsewhere by then all the same. What it saves is the
// stat, a path lookup of its own for every file; O_NOFOLLOW keeps a link put there meanwhile
// from leading the open to a device.
std::unique_ptr<DataFile> openListedFileExclusive(const std::string& name, ListedFile listed) {
  return openRegularFile(name, O_RDWR, LOCK_EX, listed, true);
}

std::unique_ptr<DataFile> openListedFileForReading(const std::string& name, ListedFile listed) {
  return openRegularFile(name, O_RDONLY, LOCK_SH, listed, true);
}

}  // namespace korvale
