// Win32 file access: CreateFileA with no sharing, so no other opener, in this process or
// another, can touch the file while it is held.
#include <windows.h>

#include <algorithm>
#include <memory>
#include <new>
#include <string_view>

#include "data_file.h"

namespace korvale {
namespace {

int64_t toInt64(FILETIME t) {
  return static_cast<int64_t>((static_cast<uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime);
}

DWORD clampedSize(std::size_t size) {
  return static_cast<DWORD>(size > 0x40000000u ? 0x40000000u : size);
}

class Win32DataFile final : public DataFile {
 public:
  explicit Win32DataFile(HANDLE handle) : handle_(handle) {}
  ~Win32DataFile() override { CloseHandle(handle_); }
  Win32DataFile(const Win32DataFile&) = delete;
  Win32DataFile& operator=(const Win32DataFile&) = delete;

  std::optional<FileStamp> stamp() override {
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(handle_, &info)) return std::nullopt;
    return FileStamp{(static_cast<uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow,
                     toInt64(info.ftLastWriteTime), 0};
  }

  int64_t readAt(uint64_t offset, std::span<uint8_t> buffer) override {
    DWORD done = 0;
    if (!seek(offset) ||
        !ReadFile(handle_, buffer.data(), clampedSize(buffer.size()), &done, nullptr)) {
      position_ = kUnknown;
      return -1;
    }
    position_ += done;
    return done;
  }

  int64_t writeAt(uint64_t offset, std::span<const uint8_t> data) override {
    DWORD done = 0;
    if (!seek(offset) ||
        !WriteFile(handle_, data.data(), clampedSize(data.size()), &done, nullptr)) {
      position_ = kUnknown;
      return -1;
    }
    position_ += done;
    return done;
  }

  bool flush() override { return FlushFileBuffers(handle_) != 0; }

 private:
  // Reads at an explicit offset (an OVERLAPPED position) cost several times a plain read under
  // Wine, so the handle's own position is used and moved only when an access does not carry
  // on where the last one ended: the pass over the file is then one seek and plain reads.
  static constexpr uint64_t kUnknown = ~uint64_t{0};

  bool seek(uint64_t offset) {
    if (offset == position_) return true;
    LARGE_INTEGER to;
    to.QuadPart = static_cast<LONGLONG>(offset);
    if (!SetFilePointerEx(handle_, to, nullptr, FILE_BEGIN)) return false;
    position_ = offset;
    return true;
  }

  HANDLE handle_;
  uint64_t position_ = 0;  // where the handle's file pointer stands; a new handle's is at 0
};

// Whether `text` begins with `prefix`, ASCII letters in either case.
template <typename Char>
bool startsWith(std::basic_string_view<Char> text, std::string_view prefix) {
  return text.size() >= prefix.size() &&
         std::equal(prefix.begin(), prefix.end(), text.begin(), [](char p, Char c) {
           return c == p || (p >= 'a' && p <= 'z' && c == p - 'a' + 'A');
         });
}

// Whether `name` is a device or a pipe: an explicit \\.\COM1 or \\.\pipe\..., or a DOS device
// name, which Windows resolves to \\.\NAME in any folder (on older systems with any extension
// too: "C:\data\com1.xml"). Opening a pipe connects to its server, and opening a device (a
// serial line, a raw disk) may act on it, so these are refused before they are opened. The
// system's own rule decides, as its CreateFile applies it. Files named in that namespace
// (\\.\C:\data\x.xml) stay files.
template <typename Char, typename FullPathName>
bool namesADeviceOrPipe(const Char* name, FullPathName fullPathName) {
  const DWORD size = fullPathName(name, 0, nullptr, nullptr);
  if (size == 0) return false;  // no path at all: CreateFile fails on it in its turn
  std::unique_ptr<Char[]> buffer(new (std::nothrow) Char[size]);
  if (!buffer) return true;
  const DWORD length = fullPathName(name, size, buffer.get(), nullptr);
  if (length == 0 || length >= size) return true;  // changed meanwhile: refused, to be safe
  std::basic_string_view<Char> full(buffer.get(), length);
  if (!startsWith(full, R"(\\.\)")) return false;
  full.remove_prefix(4);
  return full.find('\\') == full.npos || startsWith(full, R"(pipe\)");
}

enum class Access { kReadWrite, kRead };

// Keeps `handle` as a data file if it is one; closes it otherwise.
std::unique_ptr<DataFile> adopt(HANDLE handle, Access access) {
  if (handle == INVALID_HANDLE_VALUE) return nullptr;
  // Devices, pipes and consoles could block or answer nonsense; only disk files qualify.
  // A read-only file is refused even where the opener's rights would allow the write
  // (an administrator, or Wine running as root).
  BY_HANDLE_FILE_INFORMATION info;
  if (GetFileType(handle) != FILE_TYPE_DISK || !GetFileInformationByHandle(handle, &info) ||
      (access == Access::kReadWrite && (info.dwFileAttributes & FILE_ATTRIBUTE_READONLY))) {
    CloseHandle(handle);
    return nullptr;
  }
  // Without memory for the object the handle, which shuts every other opener out, must go.
  std::unique_ptr<DataFile> file(new (std::nothrow) Win32DataFile(handle));
  if (!file) CloseHandle(handle);
  return file;
}

}  // namespace

std::unique_ptr<DataFile> openDataFileExclusive(const std::string& name) {
  if (namesADeviceOrPipe(name.c_str(), GetFullPathNameA)) return nullptr;
  return adopt(CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr),
               Access::kReadWrite);
}

std::unique_ptr<DataFile> openDataFileExclusiveWide(const wchar_t* name) {
  if (namesADeviceOrPipe(name, GetFullPathNameW)) return nullptr;
  return adopt(CreateFileW(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr),
               Access::kReadWrite);
}

// Other readers may share the file; no writer may (nor could one that holds it already).
std::unique_ptr<DataFile> openDataFileForReading(const std::string& name) {
  if (namesADeviceOrPipe(name.c_str(), GetFullPathNameA)) return nullptr;
  return adopt(CreateFileA(name.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr),
               Access::kRead);
}

std::unique_ptr<DataFile> openDataFileForReadingWide(const wchar_t* name) {
  if (namesADeviceOrPipe(name, GetFullPathNameW)) return nullptr;
  return adopt(CreateFileW(name, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr),
               Access::kRead);
}

}  // namespace korvale
