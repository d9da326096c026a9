// The file seam of the library: a data file held open, exclusively, for one operation.
// The build picks one implementation (data_file_win32.cpp or data_file_posix.cpp); tests
// may substitute their own DataFile to inject faults. Internal to the library.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>

namespace korvale {

// What identifies one state of a file's content: when it differs between two moments,
// someone else changed the file in between.
struct FileStamp {
  uint64_t size = 0;
  int64_t modified = 0;  // platform time of the last change, at the platform's resolution
  int64_t changed = 0;
  bool operator==(const FileStamp&) const = default;
};

class DataFile {
 public:
  virtual ~DataFile() = default;
  virtual std::optional<FileStamp> stamp() = 0;
  // Bytes read at `offset` (fewer than asked only at end of file or on a short read),
  // or -1 on a read error.
  virtual int64_t readAt(uint64_t offset, std::span<uint8_t> buffer) = 0;
  // Bytes written at `offset` (possibly fewer than asked), or -1 on a write error.
  virtual int64_t writeAt(uint64_t offset, std::span<const uint8_t> data) = 0;
  // Puts what was written on stable storage, so that it outlives a crash or a power cut.
  // False when the system reports that it could not.
  virtual bool flush() = 0;
};

// Opens an existing regular file for reading and writing, refusing every other opener while
// it is held (in this process too). Null when that is not possible: no such file, a
// directory or device, no write permission, a read-only file, the file held elsewhere, or
// no memory for the object. A FIFO, device or pipe is refused before it is opened, since an
// open acts on it (Windows tells them by the name as it resolves it, and refuses any other
// handle that is no disk file once opened). Never throws.
std::unique_ptr<DataFile> openDataFileExclusive(const std::string& name);

#ifdef _WIN32
// The same for a UTF-16 name, which may hold characters outside the system's ANSI code page.
std::unique_ptr<DataFile> openDataFileExclusiveWide(const wchar_t* name);
#endif

// Opens an existing regular file for reading only, keeping writers out while it is held: on
// Windows other openers may read it but none may write it; on Linux it takes a shared flock,
// which refuses every opener that locks exclusively (as set and reset do) while letting other
// readers in. A read-only file, or one on read-only media, opens. For checks, which write
// nothing. Null when it cannot be had, as above. Never throws.
std::unique_ptr<DataFile> openDataFileForReading(const std::string& name);

#ifdef _WIN32
std::unique_ptr<DataFile> openDataFileForReadingWide(const wchar_t* name);
#endif

#ifndef _WIN32
// What a folder's listing said of a name: a regular file, and which one.
struct ListedFile {
  uint64_t device = 0, inode = 0;
};

// openDataFileExclusive and openDataFileForReading for a name that a folder's listing showed
// as the regular file `listed`: that word stands for the look at the name before it is opened.
std::unique_ptr<DataFile> openListedFileExclusive(const std::string& name, ListedFile listed);
std::unique_ptr<DataFile> openListedFileForReading(const std::string& name, ListedFile listed);
#endif

using DataFileOpener = std::function<std::unique_ptr<DataFile>(const std::string& name)>;

}  // namespace korvale
