// Win32 folders: FindFirstFileExW, whose entries carry attributes and reparse tags, so links
// are known without opening anything; data files open through CreateFileW.
#include <windows.h>

#include "files.h"
#include "wide_win32.h"

namespace korvale::engine {
namespace {

FolderEntry::Kind kindOf(const WIN32_FIND_DATAW& data) {
  const bool link = (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) &&
                    (data.dwReserved0 == IO_REPARSE_TAG_SYMLINK ||
                     data.dwReserved0 == IO_REPARSE_TAG_MOUNT_POINT);
  if (link) return FolderEntry::kLink;
  if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return FolderEntry::kFolder;
  return FolderEntry::kOther;
}

class Win32Folders final : public Folders {
 public:
  std::optional<std::vector<FolderEntry>> list(const std::string& folder) override {
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileExW(systemPath(join(folder, "*")).c_str(), FindExInfoBasic, &data,
                                   FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH);
    std::vector<FolderEntry> entries;
    if (find == INVALID_HANDLE_VALUE) {
      if (GetLastError() == ERROR_FILE_NOT_FOUND) return entries;  // empty
      return std::nullopt;
    }
    do {
      const std::wstring_view name = data.cFileName;
      if (name == L"." || name == L"..") continue;
      entries.push_back({pathFromWide(data.cFileName), kindOf(data), std::nullopt});
    } while (FindNextFileW(find, &data));
    const bool complete = GetLastError() == ERROR_NO_MORE_FILES;
    FindClose(find);
    if (!complete) return std::nullopt;
    return entries;
  }

  // Finding a file's identity would take opening it: names alone tell files apart here.
  PathInfo look(const std::string& path) override {
    const DWORD attributes = GetFileAttributesW(systemPath(path).c_str());
    return {attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY),
            std::nullopt};
  }

  std::string join(const std::string& folder, std::string_view name) override {
    std::string path = folder;
    // "C:" names the current folder of drive C, not its root.
    const bool drive = path.size() == 2 && path[1] == ':';
    if (!path.empty() && !drive && !path.ends_with('\\') && !path.ends_with('/')) path += '\\';
    path += name;
    return path;
  }
};

std::unique_ptr<DataFile> openByPath(const std::string& path) {
  return openDataFileExclusiveWide(systemPath(path).c_str());
}

std::unique_ptr<DataFile> openByPathForReading(const std::string& path) {
  return openDataFileForReadingWide(systemPath(path).c_str());
}

}  // namespace

std::unique_ptr<Folders> systemFolders() { return std::make_unique<Win32Folders>(); }

DataFileOpener dataFileOpener(Operation operation, const WalkedFile&) {
  return dataFileOpener(operation);
}

DataFileOpener dataFileOpener(Operation operation) {
  return operation == Operation::kCheck ? openByPathForReading : openByPath;
}

}  // namespace korvale::engine
