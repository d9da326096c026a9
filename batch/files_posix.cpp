// POSIX folders: readdir(3), whose entry types save a stat(2) per file on most file systems.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>

#include "files.h"

namespace korvale::batch {
namespace {

FolderEntry::Kind kindOf(const struct stat& st) {
  if (S_ISDIR(st.st_mode)) return FolderEntry::kFolder;
  if (S_ISLNK(st.st_mode)) return FolderEntry::kLink;
  return FolderEntry::kOther;
}

FolderEntry::Kind kindOf(DIR* dir, const dirent& entry) {
  switch (entry.d_type) {
    case DT_DIR:
      return FolderEntry::kFolder;
    case DT_LNK:
      return FolderEntry::kLink;
    case DT_UNKNOWN: {  // the file system does not say: look
      struct stat st {};
      if (::fstatat(::dirfd(dir), entry.d_name, &st, AT_SYMLINK_NOFOLLOW) == 0) return kindOf(st);
      return FolderEntry::kOther;  // taken, and reported when it cannot be opened
    }
    default:
      return FolderEntry::kOther;
  }
}

class PosixFolders final : public Folders {
 public:
  std::optional<std::vector<FolderEntry>> list(const std::string& folder) override {
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) return std::nullopt;
    std::vector<FolderEntry> entries;
    for (;;) {
      errno = 0;
      const dirent* entry = ::readdir(dir);
      if (!entry) break;
      const std::string_view name = entry->d_name;
      if (name == "." || name == "..") continue;
      entries.push_back({std::string(name), kindOf(dir, *entry)});
    }
    const bool complete = errno == 0;
    ::closedir(dir);
    if (!complete) return std::nullopt;
    return entries;
  }

  bool isFolder(const std::string& path) override {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
  }

  std::string join(const std::string& folder, std::string_view name) override {
    std::string path = folder;
    if (!path.ends_with('/')) path += '/';
    path += name;
    return path;
  }
};

}  // namespace

std::unique_ptr<Folders> systemFolders() { return std::make_unique<PosixFolders>(); }

DataFileOpener dataFileOpener() { return openDataFileExclusive; }

}  // namespace korvale::batch
