// POSIX folders: readdir(3), whose entry types save a stat(2) per file on most file systems.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>

#include "files.h"

namespace korvale::engine {
namespace {

FolderEntry::Kind kindOf(const struct stat& st) {
  if (S_ISDIR(st.st_mode)) return FolderEntry::kFolder;
  if (S_ISLNK(st.st_mode)) return FolderEntry::kLink;
  return S_ISREG(st.st_mode) ? FolderEntry::kFile : FolderEntry::kOther;
}

FolderEntry::Kind kindOf(DIR* dir, const dirent& entry) {
  switch (entry.d_type) {
    case DT_DIR:
      return FolderEntry::kFolder;
    case DT_LNK:
      return FolderEntry::kLink;
    case DT_REG:
      return FolderEntry::kFile;
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
    // The entries' inode numbers come with them; their device is the folder's.
    struct stat st {};
    const bool known = ::fstat(::dirfd(dir), &st) == 0;
    std::vector<FolderEntry> entries;
    for (;;) {
      errno = 0;
      const dirent* entry = ::readdir(dir);
      if (!entry) break;
      const std::string_view name = entry->d_name;
      if (name == "." || name == "..") continue;
      std::optional<FileId> id;
      if (known) id = FileId{static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(entry->d_ino)};
      entries.push_back({std::string(name), kindOf(dir, *entry), id});
    }
    const bool complete = errno == 0;
    ::closedir(dir);
    if (!complete) return std::nullopt;
    return entries;
  }

  PathInfo look(const std::string& path) override {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return {};
    return {S_ISDIR(st.st_mode),
            FileId{static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino)}};
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

DataFileOpener dataFileOpener(Operation operation) {
  return operation == Operation::kCheck ? openDataFileForReading : openDataFileExclusive;
}

DataFileOpener dataFileOpener(Operation operation, const WalkedFile& file) {
  if (!file.regular || !file.id) return dataFileOpener(operation);
  const ListedFile listed{file.id->device, file.id->inode};
  if (operation == Operation::kCheck) {
    return [listed](const std::string& name) { return openListedFileForReading(name, listed); };
  }
  return [listed](const std::string& name) { return openListedFileExclusive(name, listed); };
}

}  // namespace korvale::engine
