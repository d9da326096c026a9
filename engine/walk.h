// The folder walk: which files a PATH stands for, and in which order. The walk itself is
// portable; what a folder holds comes through the Folders seam (files_posix.cpp,
// files_win32.cpp), which tests may replace.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace korvale::engine {

// What tells one file from another whatever its name (a link, a hard link), where the
// system says it without an extra look: two names of one file are never worked on at once.
struct FileId {
  uint64_t device = 0, inode = 0;
  bool operator==(const FileId&) const = default;
};

struct WalkedFile {
  std::string path;
  std::optional<FileId> id;
  bool regular = false;  // the folder's listing showed a regular file, `id`
};

// Receives one file of the walk; false stops it.
using FileSink = std::function<bool(WalkedFile file)>;

struct FolderEntry {
  enum Kind {
    kFolder,  // walked
    kLink,    // a symbolic link or the like: taken as a file unless it leads to a folder
    kFile,    // a regular file, as the listing says: taken when its name ends in .xml
    kOther,   // a FIFO, a device, or what the listing does not tell: taken likewise
  };
  std::string name;
  Kind kind;
  std::optional<FileId> id = std::nullopt;  // of the entry itself (for a link: of the link)
};

struct PathInfo {
  bool folder = false;
  std::optional<FileId> id;
};

class Folders {
 public:
  virtual ~Folders() = default;
  // The entries of a folder, "." and ".." left out, in any order; nothing when it cannot be read.
  virtual std::optional<std::vector<FolderEntry>> list(const std::string& folder) = 0;
  // Whether `path` leads to a folder, and what it leads to, following links.
  virtual PathInfo look(const std::string& path) = 0;
  // `folder`, the separator unless it ends with one, and `name`.
  virtual std::string join(const std::string& folder, std::string_view name) = 0;
};

// Whether the name ends in ".xml", in any case.
bool hasXmlName(std::string_view name);

// Hands `take` every file that `path` stands for: `path` itself unless it leads to a folder;
// else the folder's files named *.xml and those of its folders, depth first, each folder's
// entries in byte order of their names; links to folders are not followed. A folder that
// cannot be read is handed over as it is: opening it as a file then reports it (code 21), and
// so is a path holding a NUL (a --files-from line), without a look at what its first part names.
// False when `take` stopped the walk.
bool walkPath(Folders& folders, const std::string& path, const FileSink& take);

}  // namespace korvale::engine
