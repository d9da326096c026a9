// The folder walk: which files a PATH stands for, and in which order. The walk itself is
// portable; what a folder holds comes through the Folders seam (folders_posix.cpp,
// folders_win32.cpp), which tests may replace.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "list.h"

namespace korvale::batch {

struct FolderEntry {
  enum Kind {
    kFolder,  // walked
    kLink,    // a symbolic link or the like: taken as a file unless it leads to a folder
    kOther,   // a file, a FIFO, a device...: taken when its name ends in .xml
  };
  std::string name;
  Kind kind;
};

class Folders {
 public:
  virtual ~Folders() = default;
  // The entries of a folder, "." and ".." left out, in any order; nothing when it cannot be read.
  virtual std::optional<std::vector<FolderEntry>> list(const std::string& folder) = 0;
  // Whether `path` leads to a folder, following links.
  virtual bool isFolder(const std::string& path) = 0;
  // `folder`, the separator unless it ends with one, and `name`.
  virtual std::string join(const std::string& folder, std::string_view name) = 0;
};

// Whether the name ends in ".xml", in any case.
bool hasXmlName(std::string_view name);

// Hands `take` every file that `path` stands for: `path` itself unless it leads to a folder;
// else the folder's files named *.xml and those of its folders, depth first, each folder's
// entries in byte order of their names; links to folders are not followed. A folder that
// cannot be read is handed over as it is: opening it as a file then reports it (code 21).
// False when `take` stopped the walk.
bool walkPath(Folders& folders, const std::string& path, const PathSink& take);

}  // namespace korvale::batch
