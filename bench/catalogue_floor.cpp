// What the system calls alone cost over a folder of small files, with nothing of the program's
// own: the least any program can take for the same durable work, measured beside korvale-batch.
//
//   catalogue_floor read FOLDER THREADS   each *.xml file opened, share-locked, looked at, read
//                                         whole and closed, by THREADS threads (no CRC, no output)
//   catalogue_floor flush FOLDER THREADS  the same files opened for writing, locked, their bytes
//                                         200..207 written back as they are, and flushed
//                                         (fdatasync) by THREADS threads side by side
//
// Both list and sort the folder first, as korvale-batch does.
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace {

std::vector<std::string> xmlFiles(const std::string& folder) {
  std::vector<std::string> paths;
  DIR* dir = ::opendir(folder.c_str());
  if (!dir) return paths;
  while (const dirent* entry = ::readdir(dir)) {
    const std::string_view name = entry->d_name;
    if (name.ends_with(".xml")) paths.push_back(folder + "/" + std::string(name));
  }
  ::closedir(dir);
  std::sort(paths.begin(), paths.end());
  return paths;
}

bool readWhole(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return false;
  alignas(4096) static thread_local unsigned char buffer[1 << 16];
  struct stat st {};
  const bool done =
      ::flock(fd, LOCK_SH | LOCK_NB) == 0 && ::fstat(fd, &st) == 0 &&
      ::pread(fd, buffer, sizeof buffer, 0) == std::min<off_t>(st.st_size, sizeof buffer);
  ::close(fd);
  return done;
}

bool writeBackAndFlush(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return false;
  unsigned char digits[8];
  const bool done = ::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::pread(fd, digits, 8, 200) == 8 &&
                    ::pwrite(fd, digits, 8, 200) == 8 && ::fdatasync(fd) == 0;
  ::close(fd);
  return done;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fputs("usage: catalogue_floor read|flush FOLDER THREADS\n", stderr);
    return 2;
  }
  const std::string_view mode = argv[1];
  const std::vector<std::string> paths = xmlFiles(argv[2]);
  bool (*const each)(const std::string&) = mode == "flush" ? writeBackAndFlush : readWhole;
  std::atomic<std::size_t> next{0};
  std::atomic<bool> failed{false};
  std::vector<std::thread> threads;
  for (int i = std::max(1, std::atoi(argv[3])); i > 0; --i) {
    threads.emplace_back([&] {
      for (std::size_t k; (k = next++) < paths.size();) {
        if (!each(paths[k])) failed = true;
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  if (failed || paths.empty()) std::fputs("catalogue_floor: a file failed\n", stderr);
  return failed || paths.empty() ? 1 : 0;
}
