// Reading a running KorvaleDesk from another process, for the programs that drive it or look at
// it from outside (drive_desk, drive_instance, probe_desk): its windows, its list's rows, its
// status bar; and the files and programs those tests work with.
#pragma once

#include <windows.h>

#include <chrono>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace desk_remote {

// Whether `condition` came true within `seconds`, looked at every 50 ms.
template <typename Condition>
bool waitFor(Condition condition, double seconds = 60) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  while (!condition()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return true;
}

std::string utf8(const std::wstring& text);

// A LVITEMW and a text buffer in the window's own process, where the list control reads them.
class RemoteItem {
 public:
  explicit RemoteItem(DWORD process);
  ~RemoteItem();
  RemoteItem(const RemoteItem&) = delete;
  RemoteItem& operator=(const RemoteItem&) = delete;

  std::wstring text(HWND list, int row, int column);
  void select(HWND list, int row, bool on);

 private:
  static constexpr std::size_t kSize = 1 << 16;
  HANDLE process_;
  char* memory_;
};

// A row as the list shows it: the path put together from the Folder and Name columns.
struct Shown {
  std::string path, result, stored, computed, message;
};
std::vector<Shown> rowsOf(HWND list, RemoteItem& remote);
std::size_t rowCount(HWND list);

// The visible top-level window of `windowClass` that process `process` shows, once it shows one
// (within 60 s); none otherwise.
HWND waitForTopLevel(DWORD process, const wchar_t* windowClass);
// Every visible top-level window of `windowClass` (any process); of one process if given.
std::vector<HWND> topLevelWindows(const wchar_t* windowClass, std::optional<DWORD> process = {});
// The text of a window of another process (WM_GETTEXT itself: for such a window GetWindowText
// gives only the caption the system keeps); none when it does not answer within 2 s.
std::optional<std::wstring> textOf(HWND window);

// A KorvaleDesk window and its parts.
struct DeskParts {
  HWND window = nullptr, list = nullptr, status = nullptr, cancel = nullptr;
  DWORD process = 0;
};
DeskParts partsOf(HWND window);
std::vector<DeskParts> deskWindows();

// The status bar reads "N files: ..." (or "1 file: ...") once no work runs.
bool idleWithFiles(HWND status, std::size_t files);
// The window has nothing in hand or to ask about: no paths queued, no check or stamp running,
// no stamp waiting for its question or its answer.
bool settled(HWND window);

// Files, at any length of path.
std::wstring longForm(const std::wstring& path);
std::string readFile(const std::wstring& path);
void writeFile(const std::wstring& path, const std::string& content);
// Deletes a tree, at any depth.
void removeTree(const std::wstring& folder);
// A data file whose first line's element holds `field` (such as crc32="0x00000000").
std::string dataFile(const std::string& field);

// What a program prints on standard output, once it has ended; its exit status in `status`.
std::string run(const std::wstring& commandLine, DWORD* status = nullptr);

}  // namespace desk_remote
