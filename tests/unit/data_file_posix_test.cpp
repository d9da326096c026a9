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

// The system call the thread `id` of this process waits in ("257" for openat), or "running".
std::string systemCallOf(pid_t id) {
  std::ifstream file("/proc/self/task/" + std::to_string(id) + "/syscall");
  std::string number;
  file >> number;
  return number;
}

// A thread blocked in its open of the FIFO `name` for writing, which waits for a reader. Opening
// the FIFO for reading releases it, and it would then die of SIGPIPE at its first write once the
// reader is gone.
class BlockedWriter {
 public:
  explicit BlockedWriter(const std::string& name) : name_(name) {
    thread_ = std::thread([this] {
      id_ = ::gettid();
      const int fd = ::open(name_.c_str(), O_WRONLY | O_CLOEXEC);
      if (fd >= 0) ::close(fd);
    });
    while (id_ == 0 || !blocked()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  ~BlockedWriter() {
    const int reader = ::open(name_.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    thread_.join();
    ::close(reader);
  }
  BlockedWriter(const BlockedWriter&) = delete;
  BlockedWriter& operator=(const BlockedWriter&) = delete;

  bool blocked() const { return systemCallOf(id_) == std::to_string(SYS_openat); }

 private:
  std::string name_;
  std::atomic<pid_t> id_ = 0;
  std::thread thread_;
};

// A name that a folder's listing showed as a regular file is opened without a stat first; the
// file opened must still be a regular file, and the one listed, or, where the listing numbers
// files otherwise (an overlay file system), the one a stat finds now. A listed regular file was
// no link: a link there now is not followed, not even to the file listed.
TEST(DataFilePosix, AListedFileIsOpenedOnlyWhenItIsStillARegularFile) {
  if (systemCallOf(::gettid()).empty()) GTEST_SKIP() << "no /proc/self/task/*/syscall";
  ScratchDir dir;
  writeFile(dir.path("data.xml"), dataFile(600));
  ASSERT_EQ(::mkfifo(dir.path("fifo.xml").c_str(), 0600), 0);
  ASSERT_EQ(::mkfifo(dir.path("blocked.fifo").c_str(), 0600), 0);
  ASSERT_EQ(::symlink("data.xml", dir.path("link.xml").c_str()), 0);
  ASSERT_EQ(::symlink("blocked.fifo", dir.path("link_to_fifo.xml").c_str()), 0);
  ASSERT_EQ(::symlink("/dev/null", dir.path("link_to_null.xml").c_str()), 0);
  const BlockedWriter writer(dir.path("blocked.fifo"));
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
               {"/dev/null", data, false},
               // links swapped in since
               {dir.path("link.xml"), data, false},
               {dir.path("link_to_fifo.xml"), data, false},
               {dir.path("link_to_null.xml"), data, false}};
  for (const auto& c : cases) {
    for (const auto open : {openListedFileForReading, openListedFileExclusive}) {
      EXPECT_EQ(open(c.name, c.listed) != nullptr, c.taken) << c.name << ", " << c.listed.inode;
      EXPECT_TRUE(writer.blocked()) << "the writer was released by " << c.name;
    }
  }
}

TEST(DataFilePosix, AWriterBlockedOnAFifoStaysBlocked) {
  if (systemCallOf(::gettid()).empty()) GTEST_SKIP() << "no /proc/self/task/*/syscall";
  ScratchDir dir;
  const std::string name = dir.path("x.xml");
  ASSERT_EQ(::mkfifo(name.c_str(), 0600), 0);
  const BlockedWriter writer(name);
  for (Operation operation : kOperations) {
    EXPECT_EQ(runOperation(operation, name, {}).code, kCannotOpen);
    EXPECT_TRUE(writer.blocked()) << "the writer was released by operation "
                                  << static_cast<int>(operation);
  }
}

}  // namespace
}  // namespace korvale
