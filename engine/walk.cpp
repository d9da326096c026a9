#include "walk.h"

#include <algorithm>

namespace korvale::engine {
namespace {

bool walkFolder(Folders& folders, const std::string& folder, const FileSink& take) {
  std::optional<std::vector<FolderEntry>> entries = folders.list(folder);
  if (!entries) return take({folder, std::nullopt});
  // std::string compares as unsigned bytes: the byte order of the names.
  std::sort(entries->begin(), entries->end(),
            [](const FolderEntry& a, const FolderEntry& b) { return a.name < b.name; });
  for (FolderEntry& entry : *entries) {
    if (entry.kind != FolderEntry::kFolder && !hasXmlName(entry.name)) continue;
    std::string path = folders.join(folder, entry.name);
    if (entry.kind == FolderEntry::kFolder) {
      if (!walkFolder(folders, path, take)) return false;
    } else if (entry.kind != FolderEntry::kLink) {
      if (!take({std::move(path), entry.id, entry.kind == FolderEntry::kFile})) return false;
    } else if (const PathInfo target = folders.look(path); !target.folder) {
      if (!take({std::move(path), target.id})) return false;
    }
  }
  return true;
}

}  // namespace

bool hasXmlName(std::string_view name) {
  constexpr std::string_view kXml = ".xml";
  if (name.size() < kXml.size()) return false;
  return std::equal(kXml.begin(), kXml.end(), name.end() - kXml.size(), [](char x, char c) {
    return x == (c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c);
  });
}

bool walkPath(Folders& folders, const std::string& path, const FileSink& take) {
  // The system would read such a name only up to its NUL, as another path: the file
  // operation refuses it instead (code 21).
  if (path.find('\0') != std::string::npos) return take({path, std::nullopt});
  const PathInfo info = folders.look(path);
  return info.folder ? walkFolder(folders, path, take) : take({path, info.id});
}

}  // namespace korvale::engine
