// Drives KorvaleDesk from outside under Wine and Xvfb: a folder with a file of every result,
// a name outside the ANSI code page, a path of 300 characters, a read-only file and one another
// handle holds open for reading on its command line; every row read back from the list and
// compared with korvale-batch --json for the same tree; then a dropped file, Stamp, Reset
// through its confirmation, and View > Sort by. Then a tree of thousands of files,
// cancelled while it is worked on, by the Cancel button and by Esc. Last, the window's size and
// column widths kept under HKCU when it closes, and found again at the next start.
// Usage: drive_desk KORVALEDESK_EXE KORVALEBATCH_EXE
#include <windows.h>
// After windows.h, which they need.
#include <commctrl.h>
#include <shlobj.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "desk_remote.h"

namespace {

using desk_remote::dataFile;
using desk_remote::idleWithFiles;
using desk_remote::longForm;
using desk_remote::readFile;
using desk_remote::RemoteItem;
using desk_remote::removeTree;
using desk_remote::rowCount;
using desk_remote::rowsOf;
using desk_remote::run;
using desk_remote::Shown;
using desk_remote::textOf;
using desk_remote::utf8;
using desk_remote::waitFor;
using desk_remote::waitForTopLevel;
using desk_remote::writeFile;

int failures = 0;

void check(bool ok, const std::string& what) {
  if (!ok) {
    ++failures;
    std::printf("FAIL: %s\n", what.c_str());
  }
}

// The value of a string or number key in one JSON line of korvale-batch.
std::string jsonValue(const std::string& line, const std::string& key) {
  std::size_t at = line.find("\"" + key + "\": ");
  if (at == std::string::npos) return {};
  at += key.size() + 4;
  if (line[at] != '"') return line.substr(at, line.find_first_of(",}", at) - at);
  std::string value;
  for (++at; at < line.size() && line[at] != '"'; ++at) {
    if (line[at] == '\\') ++at;  // the paths here hold no \u escapes
    value += line[at];
  }
  return value;
}

const char* const kWords[] = {"stamp OK",     "not stamped",         "stamp differs",
                              "no CRC field", "malformed CRC field", "cannot open",
                              "too short"};

std::string wordOf(int code) {
  switch (code) {
    case 0:
      return kWords[0];
    case 1:
      return kWords[1];
    case 2:
      return kWords[2];
    case 11:
      return kWords[3];
    case 12:
    case 13:
      return kWords[4];
    case 21:
      return kWords[5];
    case 22:
      return kWords[6];
  }
  return "unknown";
}

constexpr WPARAM kStamp = 105, kReset = 106, kSortByName = 200;  // the window's command ids

std::vector<std::string> namesOf(const std::vector<Shown>& rows) {
  std::vector<std::string> names;
  for (const Shown& row : rows) names.push_back(row.path.substr(row.path.rfind('\\') + 1));
  return names;
}

// KorvaleDesk, started with `arguments`, and the parts of its window.
struct Desk {
  PROCESS_INFORMATION process{};
  HWND window = nullptr, list = nullptr, status = nullptr, cancel = nullptr;
};

Desk startDesk(const std::wstring& exe, const std::wstring& arguments) {
  Desk desk;
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  std::wstring commandLine = L"\"" + exe + L"\" " + arguments;
  check(CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                       &startup, &desk.process),
        "start KorvaleDesk");
  const desk_remote::DeskParts parts =
      desk_remote::partsOf(waitForTopLevel(desk.process.dwProcessId, L"KorvaleDesk"));
  check(parts.window != nullptr, "the window appears");
  desk.window = parts.window;
  desk.list = parts.list;
  desk.status = parts.status;
  desk.cancel = parts.cancel;
  return desk;
}

void closeDesk(Desk& desk) {
  PostMessageW(desk.window, WM_CLOSE, 0, 0);
  check(WaitForSingleObject(desk.process.hProcess, 30000) == WAIT_OBJECT_0, "the window closes");
  CloseHandle(desk.process.hProcess);
  CloseHandle(desk.process.hThread);
}

// Drops `path` onto the window as Explorer does: a DROPFILES block in the window's process.
void dropOnto(const Desk& desk, const std::wstring& path) {
  const std::size_t bytes = sizeof(DROPFILES) + (path.size() + 2) * sizeof(wchar_t);
  HANDLE target =
      OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_WRITE, FALSE, desk.process.dwProcessId);
  void* drop = VirtualAllocEx(target, nullptr, bytes, MEM_COMMIT, PAGE_READWRITE);
  std::vector<char> files(bytes);
  auto& header = *reinterpret_cast<DROPFILES*>(files.data());
  header.pFiles = sizeof(DROPFILES);
  header.fWide = TRUE;
  std::copy(path.begin(), path.end(), reinterpret_cast<wchar_t*>(files.data() + sizeof(DROPFILES)));
  WriteProcessMemory(target, drop, files.data(), bytes, nullptr);
  PostMessageW(desk.window, WM_DROPFILES, reinterpret_cast<WPARAM>(drop), 0);
  CloseHandle(target);
}

// Whether the window's thread answers a message within two seconds: a window busy with the
// work itself would not.
bool answers(HWND window) {
  DWORD_PTR result = 0;
  return SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 2000, &result) != 0;
}

// The files done, while the status bar reads "Working: N of M files"; 0 otherwise.
std::size_t filesDone(HWND status) {
  const std::wstring prefix = L"Working: ";
  const std::wstring text = textOf(status).value_or(L"");
  return text.starts_with(prefix) ? std::stoul(text.substr(prefix.size())) : 0;
}

HWND focusOf(const Desk& desk) {
  GUITHREADINFO info{};
  info.cbSize = sizeof info;
  GetGUIThreadInfo(desk.process.dwThreadId, &info);
  return info.hwndFocus;
}

// A tree large enough to be stopped halfway: Cancel, and later Esc with the same tree dropped
// again meanwhile, end the work early with the rows of the files done. The window answers
// throughout, and no file changes.
void cancelOnLargeTree(const std::wstring& exe, const std::wstring& root) {
  constexpr std::size_t kFiles = 10000;
  const std::wstring tree = root + L"\\many";
  CreateDirectoryW(tree.c_str(), nullptr);
  const std::string content = dataFile("crc32=\"0x00000000\"");
  const auto fileName = [&](std::size_t i) { return tree + L"\\" + std::to_wstring(i) + L".xml"; };
  for (std::size_t i = 0; i < kFiles; ++i) writeFile(fileName(i), content);

  Desk desk = startDesk(exe, L"\"" + tree + L"\"");
  if (desk.window && desk.list && desk.status && desk.cancel) {
    std::size_t done = 0;
    check(waitFor([&] { return (done = filesDone(desk.status)) > 0; }), "the work starts");
    check(IsWindowVisible(desk.cancel), "Cancel shows during the work");
    for (int probe = 0; probe < 5; ++probe) {
      check(answers(desk.window), "the window answers during the work");
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    check(waitFor([&] { return filesDone(desk.status) > done; }),
          "the status bar follows the work");

    PostMessageW(desk.cancel, BM_CLICK, 0, 0);
    check(waitFor([&] { return !IsWindowVisible(desk.cancel); }), "Cancel ends the work");
    const std::size_t rows = rowCount(desk.list);
    check(rows > 0 && rows < kFiles, "Cancel: " + std::to_string(rows) + " rows");
    const std::wstring count = std::to_wstring(rows);
    const std::wstring said = textOf(desk.status).value_or(L"");
    check(said == count + L" files: " + count + L" not stamped (cancelled)",
          "the status bar after Cancel: " + utf8(said));
    check(answers(desk.window), "the window answers after Cancel");
    check(focusOf(desk) == desk.list, "the list keeps the keys after Cancel");

    dropOnto(desk, tree);
    check(waitFor([&] { return filesDone(desk.status) > 0; }), "the dropped tree is worked on");
    dropOnto(desk, tree);
    PostMessageW(desk.list, WM_KEYDOWN, VK_ESCAPE, 1);
    check(waitFor([&] { return !IsWindowVisible(desk.cancel); }), "Esc ends the work");
    const std::size_t more = rowCount(desk.list) - rows;
    check(more > 0 && more < kFiles,
          "Esc, with the tree dropped twice: " + std::to_string(more) + " rows more");
  }
  closeDesk(desk);
  std::size_t changed = 0;
  for (std::size_t i = 0; i < kFiles; ++i) changed += readFile(fileName(i)) != content;
  check(changed == 0, std::to_string(changed) + " files changed");
}

// The size of the window and a column's width, changed from outside, are written to the
// registry when the window closes and are what the next start shows.
void settingsKept(const std::wstring& exe) {
  constexpr int kWidth = 123, kFolderColumn = 1;
  constexpr SIZE kSize{720, 430};
  Desk desk = startDesk(exe, L"");
  if (desk.window && desk.list) {
    SendMessageW(desk.list, LVM_SETCOLUMNWIDTH, kFolderColumn, kWidth);
    SetWindowPos(desk.window, nullptr, 0, 0, kSize.cx, kSize.cy, SWP_NOMOVE | SWP_NOZORDER);
  }
  closeDesk(desk);

  std::array<int, 6> widths{};
  DWORD bytes = sizeof widths;
  check(RegGetValueW(HKEY_CURRENT_USER, L"Software\\Korvale\\Desk", L"ColumnWidths",
                     RRF_RT_REG_BINARY, nullptr, widths.data(), &bytes) == ERROR_SUCCESS &&
            bytes == sizeof widths && widths[kFolderColumn] == kWidth,
        "the column widths in the registry");
  WINDOWPLACEMENT placement{};
  bytes = sizeof placement;
  check(RegGetValueW(HKEY_CURRENT_USER, L"Software\\Korvale\\Desk", L"Placement", RRF_RT_REG_BINARY,
                     nullptr, &placement, &bytes) == ERROR_SUCCESS &&
            placement.rcNormalPosition.right - placement.rcNormalPosition.left == kSize.cx &&
            placement.rcNormalPosition.bottom - placement.rcNormalPosition.top == kSize.cy,
        "the window's place in the registry");

  desk = startDesk(exe, L"");
  if (desk.window && desk.list) {
    RECT shown{};
    GetWindowRect(desk.window, &shown);
    check(shown.right - shown.left == kSize.cx && shown.bottom - shown.top == kSize.cy,
          "the size at the next start: " + std::to_string(shown.right - shown.left) + "x" +
              std::to_string(shown.bottom - shown.top));
    check(SendMessageW(desk.list, LVM_GETCOLUMNWIDTH, kFolderColumn, 0) == kWidth,
          "the column width at the next start");
  }
  closeDesk(desk);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::printf("usage: drive_desk KORVALEDESK_EXE KORVALEBATCH_EXE\n");
    return 2;
  }
  std::setvbuf(stdout, nullptr, _IONBF, 0);
  std::array<wchar_t, MAX_PATH> exe{}, batch{}, temp{};
  GetFullPathNameW(std::wstring(argv[1], argv[1] + strlen(argv[1])).c_str(), exe.size(), exe.data(),
                   nullptr);
  GetFullPathNameW(std::wstring(argv[2], argv[2] + strlen(argv[2])).c_str(), batch.size(),
                   batch.data(), nullptr);
  GetTempPathW(temp.size(), temp.data());
  const std::wstring root =
      std::wstring(temp.data()) + L"korvale-desk-" + std::to_wstring(GetCurrentProcessId());
  removeTree(root);  // a process id comes round again
  CreateDirectoryW(root.c_str(), nullptr);

  // A file of every result; the stamped ones stamped by korvale-batch.
  const std::string zero = "crc32=\"0x00000000\"";
  // Checks open files for reading alone: a read-only file, and one that another handle holds
  // open for reading and lets others only read, are checked as any other.
  const std::wstring readOnly = root + L"\\i-readonly.xml", shared = root + L"\\j-shared.xml";
  for (const wchar_t* name :
       {L"\\a-ok.xml", L"\\b-differs.xml", L"\\i-readonly.xml", L"\\j-shared.xml"}) {
    writeFile(root + name, dataFile(zero));
    run(L"\"" + std::wstring(batch.data()) + L"\" set \"" + root + name + L"\"");
  }
  check(SetFileAttributesW(readOnly.c_str(), FILE_ATTRIBUTE_READONLY), "a read-only file");
  std::string changed = readFile(root + L"\\b-differs.xml");
  changed[changed.size() - 5] = 'X';
  writeFile(root + L"\\b-differs.xml", changed);
  const std::wstring empty = root + L"\\c-empty-\x0416.xml";  // Cyrillic: outside code page 1252
  const std::string emptyContent = dataFile(zero);
  writeFile(empty, emptyContent);
  writeFile(root + L"\\d-nofield.xml", dataFile("crc=\"none\""));
  writeFile(root + L"\\e-malformed.xml", dataFile("crc32=0x00000000"));
  writeFile(root + L"\\f-short.xml", "<?xml?>");
  writeFile(root + L"\\g-held.xml", dataFile(zero));
  std::wstring deep = root + L"\\h";
  CreateDirectoryW(deep.c_str(), nullptr);
  while (deep.size() < 270) {
    deep += L"\\" + std::wstring(40, L'd');
    CreateDirectoryW(longForm(deep).c_str(), nullptr);
  }
  const std::wstring longFile = deep + L"\\" + std::wstring(300 - deep.size() - 5, L'l') + L".xml";
  writeFile(longFile, dataFile(zero));
  check(longFile.size() == 300, "a path of 300 characters");
  HANDLE held = CreateFileW((root + L"\\g-held.xml").c_str(), GENERIC_READ, 0, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  HANDLE reading = CreateFileW(shared.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                               OPEN_EXISTING, 0, nullptr);
  check(reading != INVALID_HANDLE_VALUE, "a file held open for reading");

  const std::string json =
      run(L"\"" + std::wstring(batch.data()) + L"\" --json check \"" + root + L"\"");
  std::vector<std::string> expected;
  for (std::size_t start = 0, end; (end = json.find('\n', start)) != std::string::npos;
       start = end + 1) {
    expected.push_back(json.substr(start, end - start));
  }

  Desk desk = startDesk(exe.data(), L"\"" + root + L"\"");
  const HWND window = desk.window, list = desk.list, status = desk.status;
  if (window && list && status) {
    RemoteItem remote(desk.process.dwProcessId);
    check(waitFor([&] { return idleWithFiles(status, expected.size()); }), "the walk ends");
    std::vector<Shown> rows = rowsOf(list, remote);
    check(rows.size() == expected.size() && rows.size() == 10,
          "rows: " + std::to_string(rows.size()) +
              ", korvale-batch: " + std::to_string(expected.size()));
    std::vector<bool> seen(std::size(kWords));
    for (std::size_t i = 0; i < rows.size() && i < expected.size(); ++i) {
      const std::string& line = expected[i];
      const std::string word = wordOf(std::stoi(jsonValue(line, "code")));
      check(rows[i].path == jsonValue(line, "path"), "path " + rows[i].path + " vs " + line);
      check(rows[i].result == word, "result " + rows[i].result + " vs " + line);
      check(rows[i].message == jsonValue(line, "message"),
            "message " + rows[i].message + " vs " + line);
      check(rows[i].stored == jsonValue(line, "stored") &&
                rows[i].computed == jsonValue(line, "computed"),
            "stored and computed CRC " + rows[i].stored + " " + rows[i].computed + " vs " + line);
      for (std::size_t w = 0; w < std::size(kWords); ++w) seen[w] = seen[w] || word == kWords[w];
    }
    for (std::size_t w = 0; w < std::size(kWords); ++w)
      check(seen[w], std::string("a row ") + kWords[w]);
    for (const std::wstring& path : {readOnly, shared}) {
      check(std::ranges::any_of(rows,
                                [&](const Shown& row) {
                                  return row.path == utf8(path) && row.result == "stamp OK";
                                }),
            "stamp OK: " + utf8(path));
    }

    // A file dropped onto the window joins the list.
    const std::wstring dropped = root + L"\\dropped.xml";
    writeFile(dropped, dataFile(zero));
    dropOnto(desk, dropped);
    check(waitFor([&] { return idleWithFiles(status, 11); }), "the dropped file is listed");
    rows = rowsOf(list, remote);
    check(rows.size() == 11 && rows.back().path == utf8(dropped) &&
              rows.back().result == "not stamped",
          "the dropped file's row");

    // Stamp, then Reset through its confirmation, on the file named outside the code page.
    const int emptyRow = 2;
    check(rows.size() > 2 && rows[emptyRow].path == utf8(empty), "row of " + utf8(empty));
    remote.select(list, emptyRow, true);
    PostMessageW(window, WM_COMMAND, kStamp, 0);
    check(waitFor([&] { return remote.text(list, emptyRow, 2) == L"stamp OK"; }), "Stamp");
    const std::string stamped = readFile(empty);
    const std::size_t digits = emptyContent.find("0x00000000") + 2;
    check(stamped.size() == emptyContent.size() &&
              stamped.substr(0, digits) == emptyContent.substr(0, digits) &&
              stamped.substr(digits + 8) == emptyContent.substr(digits + 8) &&
              stamped.substr(digits, 8) != "00000000",
          "Stamp changes the eight digits only");
    PostMessageW(window, WM_COMMAND, kReset, 0);
    HWND box = waitForTopLevel(desk.process.dwProcessId, L"#32770");
    check(box != nullptr, "Reset asks first");
    std::array<wchar_t, 512> question{};
    GetDlgItemTextW(box, 0xFFFF, question.data(), question.size());
    check(std::wstring(question.data()).find(L"erases 1 stamp.") != std::wstring::npos,
          "the confirmation names the stamps it erases: " + utf8(question.data()));
    PostMessageW(GetDlgItem(box, IDOK), BM_CLICK, 0, 0);
    check(waitFor([&] { return remote.text(list, emptyRow, 2) == L"not stamped"; }), "Reset");
    check(readFile(empty) == emptyContent, "Reset puts the zeros back");

    // View > Sort by Name: from input order (the dropped file last) by name, then, chosen
    // again, the other way round.
    std::vector<std::string> byName = namesOf(rowsOf(list, remote));
    const std::vector<std::string> unsorted = byName;
    std::ranges::sort(byName);
    check(byName != unsorted, "the rows come in other than by name");
    PostMessageW(window, WM_COMMAND, kSortByName, 0);
    check(waitFor([&] { return namesOf(rowsOf(list, remote)) == byName; }), "Sort by Name");
    std::ranges::reverse(byName);
    PostMessageW(window, WM_COMMAND, kSortByName, 0);
    check(waitFor([&] { return namesOf(rowsOf(list, remote)) == byName; }),
          "Sort by Name again: the other way round");
  }
  CloseHandle(held);
  CloseHandle(reading);
  closeDesk(desk);
  SetFileAttributesW(readOnly.c_str(), FILE_ATTRIBUTE_NORMAL);  // else it could not be deleted

  cancelOnLargeTree(exe.data(), root);
  removeTree(root);
  settingsKept(exe.data());
  std::printf("%s: %d failure(s)\n", failures ? "FAILED" : "passed", failures);
  return failures ? 1 : 0;
}
