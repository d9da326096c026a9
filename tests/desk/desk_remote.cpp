#include "desk_remote.h"

// After windows.h, which it needs.
#include <commctrl.h>

#include <array>

namespace desk_remote {

std::string utf8(const std::wstring& text) {
  std::string out(text.size() * 4, '\0');
  out.resize(static_cast<std::size_t>(
      WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(),
                          static_cast<int>(out.size()), nullptr, nullptr)));
  return out;
}

RemoteItem::RemoteItem(DWORD process)
    : process_(
          OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, process)),
      memory_(static_cast<char*>(
          VirtualAllocEx(process_, nullptr, kSize, MEM_COMMIT, PAGE_READWRITE))) {}

RemoteItem::~RemoteItem() {
  VirtualFreeEx(process_, memory_, 0, MEM_RELEASE);
  CloseHandle(process_);
}

std::wstring RemoteItem::text(HWND list, int row, int column) {
  LVITEMW item{};
  item.iSubItem = column;
  item.pszText = reinterpret_cast<wchar_t*>(memory_ + sizeof item);
  item.cchTextMax = (kSize - sizeof item) / sizeof(wchar_t);
  WriteProcessMemory(process_, memory_, &item, sizeof item, nullptr);
  const auto length = SendMessageW(list, LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(memory_));
  std::wstring text(static_cast<std::size_t>(length), L'\0');
  ReadProcessMemory(process_, item.pszText, text.data(), text.size() * sizeof(wchar_t), nullptr);
  return text;
}

void RemoteItem::select(HWND list, int row, bool on) {
  LVITEMW item{};
  item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
  item.state = on ? LVIS_SELECTED | LVIS_FOCUSED : 0;
  WriteProcessMemory(process_, memory_, &item, sizeof item, nullptr);
  SendMessageW(list, LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(memory_));
}

std::vector<Shown> rowsOf(HWND list, RemoteItem& remote) {
  std::vector<Shown> rows;
  const auto count = SendMessageW(list, LVM_GETITEMCOUNT, 0, 0);
  for (int i = 0; i < count; ++i) {
    std::wstring folder = remote.text(list, i, 1);
    if (!folder.ends_with(L'\\')) folder += L'\\';  // a drive's root ends in one already
    rows.push_back({utf8(folder + remote.text(list, i, 0)), utf8(remote.text(list, i, 2)),
                    utf8(remote.text(list, i, 3)), utf8(remote.text(list, i, 4)),
                    utf8(remote.text(list, i, 5))});
  }
  return rows;
}

std::size_t rowCount(HWND list) {
  return static_cast<std::size_t>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
}

namespace {

struct Search {
  const wchar_t* windowClass;
  std::optional<DWORD> process;
  std::vector<HWND> found;
};

BOOL CALLBACK matchTopLevel(HWND window, LPARAM context) {
  auto& search = *reinterpret_cast<Search*>(context);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  std::array<wchar_t, 64> name{};
  GetClassNameW(window, name.data(), name.size());
  if ((!search.process || owner == *search.process) && IsWindowVisible(window) &&
      std::wstring(name.data()) == search.windowClass) {
    search.found.push_back(window);
  }
  return TRUE;
}

}  // namespace

std::vector<HWND> topLevelWindows(const wchar_t* windowClass, std::optional<DWORD> process) {
  Search search{windowClass, process, {}};
  EnumWindows(matchTopLevel, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

HWND waitForTopLevel(DWORD process, const wchar_t* windowClass) {
  HWND found = nullptr;
  waitFor([&] {
    const std::vector<HWND> windows = topLevelWindows(windowClass, process);
    found = windows.empty() ? nullptr : windows.front();
    return found != nullptr;
  });
  return found;
}

std::optional<std::wstring> textOf(HWND window) {
  std::array<wchar_t, 512> text{};
  DWORD_PTR result = 0;
  if (!SendMessageTimeoutW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()),
                           SMTO_ABORTIFHUNG, 2000, &result)) {
    return std::nullopt;
  }
  return text.data();
}

DeskParts partsOf(HWND window) {
  DeskParts parts;
  parts.window = window;
  parts.list = FindWindowExW(window, nullptr, WC_LISTVIEWW, nullptr);
  parts.status = FindWindowExW(window, nullptr, STATUSCLASSNAMEW, nullptr);
  parts.cancel = FindWindowExW(window, nullptr, WC_BUTTONW, L"Cancel");
  GetWindowThreadProcessId(window, &parts.process);
  return parts;
}

std::vector<DeskParts> deskWindows() {
  std::vector<DeskParts> desks;
  for (HWND window : topLevelWindows(L"KorvaleDesk")) desks.push_back(partsOf(window));
  return desks;
}

bool idleWithFiles(HWND status, std::size_t files) {
  const std::wstring text = textOf(status).value_or(L"");
  const std::wstring count = std::to_wstring(files) + (files == 1 ? L" file" : L" files");
  return text.starts_with(count) &&
         (text.size() == count.size() || text[count.size()] == L':' || text[count.size()] == L' ');
}

bool settled(HWND window) { return GetPropW(window, L"KorvaleDesk.Busy") == nullptr; }

std::wstring longForm(const std::wstring& path) { return L"\\\\?\\" + path; }

std::string readFile(const std::wstring& path) {
  HANDLE file = CreateFileW(longForm(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return {};
  std::string content(GetFileSize(file, nullptr), '\0');
  DWORD read = 0;
  ReadFile(file, content.data(), static_cast<DWORD>(content.size()), &read, nullptr);
  CloseHandle(file);
  content.resize(read);
  return content;
}

void writeFile(const std::wstring& path, const std::string& content) {
  HANDLE file =
      CreateFileW(longForm(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  DWORD written = 0;
  WriteFile(file, content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
  CloseHandle(file);
}

std::string dataFile(const std::string& field) {
  std::string xml =
      "<?xml version=\"1.0\" encoding=\"windows-1252\"?>\r\n<CharacteristicValueLibrary " + field +
      " format=\"VDMA 66413\">\r\n";
  for (int i = 0; i < 40; ++i) xml += "  <Value name=\"v" + std::to_string(i) + "\">7</Value>\r\n";
  return xml + "</CharacteristicValueLibrary>\r\n";
}

std::string run(const std::wstring& commandLine, DWORD* status) {
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE reader = nullptr, writer = nullptr;
  CreatePipe(&reader, &writer, &inherit, 0);
  SetHandleInformation(reader, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = writer;
  startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  PROCESS_INFORMATION process{};
  std::wstring line = commandLine;
  const bool started = CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                      nullptr, &startup, &process);
  CloseHandle(writer);
  if (!started && status) *status = static_cast<DWORD>(-1);
  std::string output;
  std::array<char, 4096> buffer;
  DWORD read = 0;
  while (started && ReadFile(reader, buffer.data(), buffer.size(), &read, nullptr) && read > 0) {
    output.append(buffer.data(), read);
  }
  CloseHandle(reader);
  if (started) {
    WaitForSingleObject(process.hProcess, INFINITE);
    if (status) GetExitCodeProcess(process.hProcess, status);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
  }
  return output;
}

void removeTree(const std::wstring& folder) {
  WIN32_FIND_DATAW entry;
  HANDLE find = FindFirstFileW(longForm(folder + L"\\*").c_str(), &entry);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      const std::wstring name = entry.cFileName;
      if (name == L"." || name == L"..") continue;
      const std::wstring path = folder + L"\\" + name;
      if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        removeTree(path);
      } else {
        DeleteFileW(longForm(path).c_str());
      }
    } while (FindNextFileW(find, &entry));
    FindClose(find);
  }
  RemoveDirectoryW(longForm(folder).c_str());
}

}  // namespace desk_remote
