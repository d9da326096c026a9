// What the POSIX opener takes: regular files, through links too. Anything else is refused
// before it is opened, since opening a FIFO or a device acts on it.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <string>
#include <thread>

#include "file_operations.h"
#include "test_files.h"

namespace korvale {
namespace {

using testing::dataFile;
using testing::ScratchDir;
using testing::writeFile;

constexpr Operation kOperations[] = {Operation::kCheck, Operation::kSet, Operation::kReset};

TEST(DataFilePosix, OnlyRegularFilesAreTakenLinksFollowed) {
  ScratchDir dir;
  writeFile(dir.path("data.xml"), dataFile(600));
  ASSERT_EQ(::mkdir(dir.path("folder.xml").c_str(), 0700), 0);
  ASSERT_EQ(::mkfifo(dir.path("fifo.xml").c_str(), 0600), 0);
  const struct {
    const char* link;
    const char* target;
  } links[] = {{"link.xml", "data.xml"},
               {"link_to_fifo.xml", "fifo.xml"},
               {"link_to_null.xml", "/dev/null"},
               {"link_to_folder.xml", "folder.xml"},
               {"dangling.xml", "missing.xml"}};
  for (const auto& l : links) {
    ASSERT_EQ(::symlink(l.target, dir.path(l.link).c_str()), 0) << l.link;
  }

  const struct {
    const char* name;
    bool taken;
  } cases[] = {{"data.xml", true},
               {"link.xml", true},
               {"folder.xml", false},
               {"fifo.xml", false},
               {"link_to_fifo.xml", false},
               {"link_to_null.xml", false},
               {"link_to_folder.xml", false},
               {"dangling.xml", false}};
  for (const auto& c : cases) {
    const std::string name = dir.path(c.name);
    for (Operation operation : kOperations) {
      // A fresh file: check finds the field empty; set and reset work.
      const int32_t taken = operation == Operation::kCheck ? kCrcEmpty : kOk;
      EXPECT_EQ(runOperation(operation, name, {}).code, c.taken ? taken : kCannotOpen)
          << c.name << ", operation " << static_cast<int>(operation);
    }
  }
  for (const char* device : {"/dev/null", "/dev/zero"}) {
    EXPECT_EQ(runOperation(Operation::kCheck, device, {}).code, kCannotOpen) << device;
  }
}

// A name that a folder's listing showed as a regular file is opened without a stat first; the
// file opened must still be a regular file, and the one listed, or, where the listing numbers
// files otherwise (an overlay file system), the one a stat finds now.
TEST(DataFilePosix, AListedFileIsOpenedOnlyWhenItIsStillARegularFile) {
  ScratchDir dir;
  writeFile(dir.path("data.xml"), dataFile(600));
  ASSERT_EQ(::mkfifo(dir.path("fifo.xml").c_str(), 0600), 0);
  struct stat st {};
  ASSERT_EQ(::stat(dir.path("data.xml").c_str(), &st), 0);
  const ListedFile data{static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino)};
  const ListedFile otherwise{data.device, data.inode + 1};
  const struct {
    std::string name;
    ListedFile listed;
    bool taken;
  } cases[] = {{dir.path("data.xml"), data, true},
               {dir.path("data.xml"), otherwise, true},
               {dir.path("fifo.xml"), data, false},  // swapped in since: not waited on
               {dir.path("missing.xml"), data, false},
               {"/dev/null", data, false}};
  for (const auto& c : cases) {
    for (const auto open : {openListedFileForReading, openListedFileExclusive}) {
      EXPECT_EQ(open(c.name, c.listed) != nullptr, c.taken) << c.name << ", " << c.listed.inode;
    }
  }
}

// The system call the thread `id` of this process waits in ("257" for openat), or "running".
std::string systemCallOf(pid_t id) {
  std::ifstream file("/proc/self/task/" + std::to_string(id) + "/syscall");
  std::string number;
  file >> number;
  return number;
}

// Opening a FIFO for reading releases a writer blocked in its open, which then dies of SIGPIPE
// at its first write once the reader is gone.
TEST(DataFilePosix, AWriterBlockedOnAFifoStaysBlocked) {
  if (systemCallOf(::gettid()).empty()) GTEST_SKIP() << "no /proc/self/task/*/syscall";
  ScratchDir dir;
  const std::string name = dir.path("x.xml");
  ASSERT_EQ(::mkfifo(name.c_str(), 0600), 0);
  std::atomic<pid_t> writerId = 0;
  std::thread writer([&] {
    writerId = ::gettid();
    const int fd = ::open(name.c_str(), O_WRONLY | O_CLOEXEC);  // waits for a reader
    if (fd >= 0) ::close(fd);
  });
  const std::string inOpen = std::to_string(SYS_openat);
  while (writerId == 0 || systemCallOf(writerId) != inOpen) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }

  for (Operation operation : kOperations) {
    EXPECT_EQ(runOperation(operation, name, {}).code, kCannotOpen);
    EXPECT_EQ(systemCallOf(writerId), inOpen)
        << "the writer was released by operation " << static_cast<int>(operation);
  }

  const int reader = ::open(name.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  writer.join();
  ::close(reader);
}

}  // namespace
}  // namespace korvale
