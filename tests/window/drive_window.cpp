// Drives Korvale's window from outside, as a user would, and checks what it shows and what it
// prints. Usage: drive_window KORVALE_EXE. Needs a display (under wine: Xvfb).
#include <windows.h>
// After windows.h, which they need.
#include <commctrl.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <type_traits>
#include <vector>

namespace {

int failures = 0;

void check(bool ok, const std::string& what) {
  if (!ok) {
    ++failures;
    std::printf("FAIL: %s\n", what.c_str());
  }
}

template <typename T>
void checkEqual(const T& actual, const T& expected, const std::string& what) {
  if constexpr (std::is_same_v<T, std::string>) {
    check(actual == expected, what + ": got [" + actual + "], expected [" + expected + "]");
  } else if constexpr (std::is_pointer_v<T>) {
    check(actual == expected, what + ": another window");
  } else {
    check(actual == expected,
          what + ": got " + std::to_string(actual) + ", expected " + std::to_string(expected));
  }
}

// How long a wait gives up after. Generous: in an emulated machine Wine takes many seconds to
// open a file dialog for the first time; a wait ends as soon as its condition holds.
constexpr double kPatience = 60;

// Polls `condition` until it holds or `seconds` have passed.
template <typename Condition>
bool waitFor(Condition condition, double seconds = kPatience) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  while (!condition()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

std::string readFile(const std::string& path) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return {};
  std::string content(GetFileSize(file, nullptr), '\0');
  DWORD read = 0;
  ReadFile(file, content.data(), static_cast<DWORD>(content.size()), &read, nullptr);
  CloseHandle(file);
  content.resize(read);
  return content;
}

void writeFile(const std::string& path, const std::string& content) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  DWORD written = 0;
  WriteFile(file, content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
  CloseHandle(file);
}

std::string windowText(HWND window) {
  std::array<char, 512> text{};
  GetWindowTextA(window, text.data(), static_cast<int>(text.size()));
  return text.data();
}

std::string className(HWND window) {
  std::array<char, 256> name{};
  GetClassNameA(window, name.data(), static_cast<int>(name.size()));
  return name.data();
}

// A data file with its checksum field at the fail-safe value, large enough that the
// progress bar has something to follow.
std::string fixture() {
  std::string xml =
      "<?xml version=\"1.0\" encoding=\"windows-1252\"?>\r\n"
      "<CharacteristicValueLibrary crc32=\"0x00000000\" format=\"VDMA 66413\">\r\n";
  for (int i = 0; i < 5000; ++i) {
    xml += "  <Value name=\"v" + std::to_string(i) + "\" unit=\"bar\">" + std::to_string(i * 7) +
           "</Value>\r\n";
  }
  return xml + "</CharacteristicValueLibrary>\r\n";
}

// A scratch folder for the data file and the program's output.
class ScratchDir {
 public:
  ScratchDir() {
    std::array<char, MAX_PATH> temp{};
    GetTempPathA(static_cast<DWORD>(temp.size()), temp.data());
    path_ = std::string(temp.data()) + "korvale-window-" + std::to_string(GetCurrentProcessId());
    CreateDirectoryA(path_.c_str(), nullptr);
  }
  ~ScratchDir() {
    for (const std::string& file : files_) DeleteFileA(file.c_str());
    RemoveDirectoryA(path_.c_str());
  }
  std::string file(const std::string& name) {
    files_.push_back(path_ + "\\" + name);
    return files_.back();
  }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
  std::vector<std::string> files_;
};

HANDLE inheritableFile(const std::string& path) {
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  return CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                     CREATE_ALWAYS, 0, nullptr);
}

// Korvale started with the given standard output and error; waits for its end and gives the
// exit status.
class Program {
 public:
  Program(const std::string& exe, const std::string& arguments, const std::string& folder,
          HANDLE output, HANDLE error) {
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = output;
    startup.hStdError = error;
    std::string commandLine = "\"" + exe + "\"" + arguments;
    started_ = CreateProcessA(exe.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr,
                              folder.c_str(), &startup, &process_);
    check(started_, "start " + commandLine);
  }
  ~Program() {
    if (!started_) return;
    if (WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT) {
      TerminateProcess(process_.hProcess, 99);
    }
    CloseHandle(process_.hProcess);
    CloseHandle(process_.hThread);
  }
  DWORD id() const { return process_.dwProcessId; }
  bool started() const { return started_; }

  // The exit status, or -1 when it has not ended within `seconds`.
  long exitStatus(double seconds = kPatience) {
    if (!started_ || WaitForSingleObject(process_.hProcess, static_cast<DWORD>(seconds * 1000)) !=
                         WAIT_OBJECT_0) {
      return -1;
    }
    DWORD status = 0;
    GetExitCodeProcess(process_.hProcess, &status);
    return static_cast<long>(status);
  }

 private:
  bool started_ = false;
  PROCESS_INFORMATION process_{};
};

// What `Korvale ARGUMENTS` prints in command mode.
std::string commandOutput(const std::string& exe, const std::string& arguments, ScratchDir& dir) {
  const std::string path = dir.file("command.txt");
  HANDLE output = inheritableFile(path);
  {
    Program program(exe, arguments, dir.path(), output, output);
    checkEqual(program.exitStatus(), 0L, "exit status of" + arguments);
  }
  CloseHandle(output);
  return readFile(path);
}

struct TopLevelSearch {
  DWORD id;
  const char* windowClass;
  HWND found;
};

// (A named CALLBACK function: a lambda would not be stdcall in a 32-bit build.)
BOOL CALLBACK matchTopLevel(HWND window, LPARAM context) {
  auto& search = *reinterpret_cast<TopLevelSearch*>(context);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (owner != search.id || !IsWindowVisible(window)) return TRUE;
  if (className(window) != search.windowClass) return TRUE;
  search.found = window;
  return FALSE;
}

// A visible top-level window of process `id`, of class `windowClass`; null when none.
HWND topLevelWindow(DWORD id, const char* windowClass) {
  TopLevelSearch search{id, windowClass, nullptr};
  EnumWindows(matchTopLevel, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

HWND waitForTopLevel(DWORD id, const char* windowClass, double seconds = kPatience) {
  HWND found = nullptr;
  waitFor([&] { return (found = topLevelWindow(id, windowClass)) != nullptr; }, seconds);
  return found;
}

HWND focusOf(HWND window) {
  GUITHREADINFO info{};
  info.cbSize = sizeof info;
  GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info);
  return info.hwndFocus;
}

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> result;
  for (std::size_t start = 0; start < text.size();) {
    const std::size_t end = text.find("\r\n", start);
    if (end == std::string::npos) break;
    result.push_back(text.substr(start, end - start));
    start = end + 2;
  }
  return result;
}

// The window's controls, in z-order, which is the order Tab follows.
struct Controls {
  HWND laVersion, buCheckCRC32inFile, buSetCRC32inFile, buResetCRC32inFile, StaticText1,
      ProgressBar1, buHelp;
  std::vector<HWND> fileButtons() const {
    return {buCheckCRC32inFile, buSetCRC32inFile, buResetCRC32inFile};
  }
};

Controls controlsOf(HWND window) {
  std::vector<HWND> children;
  for (HWND child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    children.push_back(child);
  }
  checkEqual(children.size(), std::size_t{7}, "number of controls");
  children.resize(7);
  return {children[0], children[1], children[2], children[3],
          children[4], children[5], children[6]};
}

RECT rectInClient(HWND control) {
  RECT rect;
  GetWindowRect(control, &rect);
  MapWindowPoints(nullptr, GetParent(control), reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

class Geometry {
 public:
  Geometry() {
    HDC screen = GetDC(nullptr);
    dpi_ = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
  }
  int scaled(int pixels) const { return MulDiv(pixels, dpi_, 96); }

  // The size of `text` in the window font, 8 points of "MS Sans Serif".
  SIZE textSize(const std::string& text, bool bold) const {
    HFONT font = CreateFontA(-MulDiv(8, dpi_, 72), 0, 0, 0, bold ? FW_BOLD : FW_NORMAL, FALSE,
                             FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                             DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, "MS Sans Serif");
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ previous = SelectObject(dc, font);
    SIZE size{};
    GetTextExtentPoint32A(dc, text.data(), static_cast<int>(text.size()), &size);
    SelectObject(dc, previous);
    DeleteDC(dc);
    DeleteObject(font);
    return size;
  }

 private:
  int dpi_;
};

void checkWindow(HWND window, const Controls& c) {
  const Geometry g;
  RECT frame, client;
  GetWindowRect(window, &frame);
  GetClientRect(window, &client);
  checkEqual(frame.left, 449L, "window left");
  checkEqual(frame.top, 142L, "window top");
  checkEqual(client.right, static_cast<LONG>(g.scaled(465)), "client width");
  checkEqual(client.bottom, static_cast<LONG>(g.scaled(64)), "client height");
  const LONG_PTR style = GetWindowLongPtrA(window, GWL_STYLE);
  const LONG_PTR exStyle = GetWindowLongPtrA(window, GWL_EXSTYLE);
  check((style & (WS_CAPTION | WS_SYSMENU)) == (WS_CAPTION | WS_SYSMENU), "caption, system menu");
  check(!(style & (WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX)), "fixed, no min/max");
  check(exStyle & WS_EX_CONTEXTHELP, "context-help button");

  struct Expected {
    HWND control;
    const char* windowClass;
    std::string text;
    int left, top, width, height;  // width 0: sized to its text
    bool bold, tabStop;
  };
  const int barTop = 64 - 9;
  const Expected table[] = {
      {c.laVersion, "Static", "Version: 1.0.20120528", 8, 40, 0, 0, true, false},
      {c.buCheckCRC32inFile, "Button", "check CRC32...", 8, 8, 113, 25, false, true},
      {c.buSetCRC32inFile, "Button", "set CRC32...", 136, 8, 113, 25, false, true},
      {c.buResetCRC32inFile, "Button", "reset CRC32...", 264, 8, 113, 25, false, true},
      {c.StaticText1, "Static", "Dr-Vyr", 424, 40, 0, 0, false, false},
      {c.ProgressBar1, "msctls_progress32", "", 0, barTop, 465, 9, false, false},
      {c.buHelp, "Button", "Help...", 392, 8, 65, 25, false, true},
  };
  for (const Expected& e : table) {
    const std::string name = e.text.empty() ? e.windowClass : e.text;
    check(CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, className(e.control).c_str(), -1,
                         e.windowClass, -1) == CSTR_EQUAL,
          name + ": class " + className(e.control));
    checkEqual(windowText(e.control), e.text, "text");
    SIZE size{g.scaled(e.width), g.scaled(e.height)};
    if (e.width == 0) size = g.textSize(e.text, e.bold);
    const RECT r = rectInClient(e.control);
    checkEqual(r.left, static_cast<LONG>(g.scaled(e.left)), name + ": left");
    checkEqual(r.top, static_cast<LONG>(g.scaled(e.top)), name + ": top");
    checkEqual(r.right - r.left, size.cx, name + ": width");
    checkEqual(r.bottom - r.top, size.cy, name + ": height");
    checkEqual(bool(GetWindowLongPtrA(e.control, GWL_STYLE) & WS_TABSTOP), e.tabStop,
               name + ": tab stop");
    check(IsWindowEnabled(e.control), name + ": enabled");
  }
}

// How many pixels of `control` on the screen have the colour `colour`.
int pixelsOf(HWND control, COLORREF colour) {
  RECT r;
  GetWindowRect(control, &r);
  HDC screen = GetDC(nullptr);
  int count = 0;
  for (LONG y = r.top; y < r.bottom; ++y) {
    for (LONG x = r.left; x < r.right; ++x) count += GetPixel(screen, x, y) == colour;
  }
  ReleaseDC(nullptr, screen);
  return count;
}

// The labels' text as drawn: the version in the window-text colour, StaticText1 in silver.
void checkColours(const Controls& c) {
  const COLORREF silver = RGB(192, 192, 192);
  const COLORREF text = GetSysColor(COLOR_WINDOWTEXT);
  check(pixelsOf(c.StaticText1, silver) > 0 && pixelsOf(c.StaticText1, text) == 0,
        "StaticText1 in silver");
  check(pixelsOf(c.laVersion, text) > 0 && pixelsOf(c.laVersion, silver) == 0,
        "laVersion in the window-text colour");
}

// Tab goes round the four buttons; the focus starts on the first.
void checkTabOrder(HWND window, const Controls& c) {
  checkEqual(focusOf(window), c.buCheckCRC32inFile, "focus when first shown");
  const HWND order[] = {c.buSetCRC32inFile, c.buResetCRC32inFile, c.buHelp, c.buCheckCRC32inFile};
  for (HWND next : order) {
    PostMessageA(focusOf(window), WM_KEYDOWN, VK_TAB, 0x000F0001);
    PostMessageA(focusOf(window), WM_KEYUP, VK_TAB, 0xC00F0001);
    check(waitFor([&] { return focusOf(window) == next; }),
          "Tab to " + windowText(next) + ", focus on " + windowText(focusOf(window)));
  }
}

bool fileButtonsEnabled(const Controls& c) {
  return std::ranges::all_of(c.fileButtons(), [](HWND b) { return IsWindowEnabled(b) != 0; });
}

// Clicks `button`, and in the open dialog enters `path` and confirms, or cancels when
// `path` is empty. Gives the name the dialog offered at first.
std::string chooseFile(DWORD id, const Controls& c, HWND button, const std::string& path) {
  PostMessageA(button, BM_CLICK, 0, 0);
  HWND dialog = waitForTopLevel(id, "#32770");
  check(dialog != nullptr, windowText(button) + ": open dialog");
  if (!dialog) return {};
  check(std::ranges::none_of(c.fileButtons(), [](HWND b) { return IsWindowEnabled(b) != 0; }),
        "file buttons off while the dialog is open");
  check(IsWindowEnabled(c.buHelp), "help button on while the dialog is open");
  std::array<char, MAX_PATH> offered{};
  GetDlgItemTextA(dialog, 0x47C, offered.data(), static_cast<int>(offered.size()));
  if (!path.empty()) SetDlgItemTextA(dialog, 0x47C, path.c_str());
  PostMessageA(GetDlgItem(dialog, path.empty() ? IDCANCEL : IDOK), BM_CLICK, 0, 0);
  check(waitFor([&] { return !IsWindow(dialog); }), "the dialog closes");
  return offered.data();
}

std::string report(const std::string& command, const std::string& path, const std::string& crc,
                   const std::string& outcome) {
  const std::string tail = path.size() > 60 ? path.substr(path.size() - 60) : path;
  return "Korvale [1.0.20120528]\r\n" + command + " ..." + tail + "\r\nCRC32: " + crc + "\r\n" +
         outcome + "\r\n";
}

// Waits until the program has printed `size` bytes and the buttons are on again.
void waitForOutput(const std::string& outputPath, std::size_t size, const Controls& c) {
  waitFor([&] { return readFile(outputPath).size() >= size && fileButtonsEnabled(c); });
}

// Waits for the output to reach `expected`, then checks that it is exactly that.
void checkOutput(const std::string& outputPath, const std::string& expected, const Controls& c,
                 const std::string& what) {
  waitForOutput(outputPath, expected.size(), c);
  checkEqual(readFile(outputPath), expected, what + ": output so far");
  check(fileButtonsEnabled(c), what + ": file buttons on again");
}

void checkBarAtZero(const Controls& c, LRESULT maximum, const std::string& what) {
  checkEqual(SendMessageA(c.ProgressBar1, PBM_GETPOS, 0, 0), LRESULT{0}, what + ": bar position");
  checkEqual(SendMessageA(c.ProgressBar1, PBM_GETRANGE, FALSE, 0), maximum, what + ": bar maximum");
}

// A user's session: every button, the dialog confirmed and cancelled, then closing.
void driveSession(const std::string& exe, ScratchDir& dir) {
  const std::string help = commandOutput(exe, " HELP", dir);
  const std::vector<std::string> helpLines = lines(help);
  checkEqual(helpLines.size(), std::size_t{35}, "lines of the help text");
  std::string disclaimer;
  for (std::size_t i = 25; i < 33 && i < helpLines.size(); ++i) disclaimer += helpLines[i] + "\r\n";

  const std::string data = dir.file("data.xml");
  const std::string original = fixture();
  writeFile(data, original);
  const std::string outputPath = dir.file("output.txt");
  const std::string errorPath = dir.file("error.txt");
  HANDLE output = inheritableFile(outputPath);
  HANDLE error = inheritableFile(errorPath);
  Program program(exe, "", dir.path(), output, error);
  CloseHandle(output);
  CloseHandle(error);

  HWND window = waitForTopLevel(program.id(), "TfoUnDaBa");
  check(window != nullptr, "the window TfoUnDaBa appears");
  if (!window) return;
  check(waitFor([&] { return windowText(window) == "Korvale"; }), "caption Korvale");
  const Controls c = controlsOf(window);
  std::string expected = disclaimer;
  checkOutput(outputPath, expected, c, "start");
  checkBarAtZero(c, 100, "start");
  checkWindow(window, c);
  checkColours(c);
  checkTabOrder(window, c);

  const LRESULT size = static_cast<LRESULT>(original.size());
  chooseFile(program.id(), c, c.buCheckCRC32inFile, data);
  expected += report("CHECK", data, "0x00000000", "ERROR: [01] CRC is empty");
  checkOutput(outputPath, expected, c, "check of a fresh file");
  checkBarAtZero(c, size, "check");
  checkEqual(focusOf(window), c.buCheckCRC32inFile, "focus back on the clicked button");

  const std::string offered = chooseFile(program.id(), c, c.buSetCRC32inFile, data);
  check(!offered.empty() && data.ends_with(offered), "the dialog offers the last path: " + offered);
  waitForOutput(outputPath, expected.size() + 1, c);  // the library has let go of the file
  const std::string stamped = readFile(data);
  const std::size_t field = original.find("0x00000000");
  const std::string crc = stamped.size() == original.size() ? stamped.substr(field, 10) : "";
  check(stamped.size() == original.size() &&
            stamped.substr(0, field) == original.substr(0, field) &&
            stamped.substr(field + 10) == original.substr(field + 10) && crc != "0x00000000",
        "set changes only the field's digits, to " + crc);
  expected += report("SET", data, crc, "OK");
  checkOutput(outputPath, expected, c, "set");
  checkBarAtZero(c, size, "set");

  chooseFile(program.id(), c, c.buCheckCRC32inFile, data);
  expected += report("CHECK", data, crc, "OK");
  checkOutput(outputPath, expected, c, "check after set");

  chooseFile(program.id(), c, c.buResetCRC32inFile, "");
  checkOutput(outputPath, expected, c, "cancelled reset");
  checkEqual(readFile(data), stamped, "the file after a cancelled reset");

  chooseFile(program.id(), c, c.buResetCRC32inFile, data);
  expected += report("RESET", data, "0x00000000", "OK");
  checkOutput(outputPath, expected, c, "reset");
  check(readFile(data) == original, "reset restores the fail-safe value");

  const std::string missing = dir.path() + "\\missing.xml";
  chooseFile(program.id(), c, c.buSetCRC32inFile, missing);
  expected +=
      report("SET", missing, "", "ERROE: [21] Could not open file exclusive for ReadWrite.");
  checkOutput(outputPath, expected, c, "set of a file that does not exist");

  PostMessageA(c.buHelp, BM_CLICK, 0, 0);
  expected += help;
  checkOutput(outputPath, expected, c, "Help...");

  PostMessageA(window, WM_CLOSE, 0, 0);
  checkEqual(program.exitStatus(), 0L, "exit status after closing");
  checkEqual(readFile(outputPath), expected, "all output");
  checkEqual(readFile(errorPath), std::string(), "standard error");
}

// Dismisses the error box of process `id`; false when none shows up.
bool dismissErrorBox(DWORD id) {
  HWND box = waitForTopLevel(id, "#32770");
  if (!box) return false;
  checkEqual(windowText(box), std::string("Vyr - Korvale"), "caption of the error box");
  PostMessageA(GetDlgItem(box, IDOK), BM_CLICK, 0, 0);
  return waitFor([&] { return !IsWindow(box); });
}

// Standard output is a pipe nobody reads: each failed print shows an error box, and the
// window goes on.
void driveWithBrokenOutput(const std::string& exe, ScratchDir& dir) {
  const std::string data = dir.file("broken.xml");
  writeFile(data, fixture());
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE reader = nullptr;
  HANDLE writer = nullptr;
  CreatePipe(&reader, &writer, &inherit, 0);
  CloseHandle(reader);
  Program program(exe, "", dir.path(), writer, writer);
  CloseHandle(writer);

  HWND window = waitForTopLevel(program.id(), "TfoUnDaBa");
  check(window != nullptr, "the window appears with a broken output");
  if (!window) return;
  check(dismissErrorBox(program.id()), "error box for the disclaimer");
  checkEqual(windowText(window), std::string("Korvale"), "caption after the failed disclaimer");
  const Controls c = controlsOf(window);

  chooseFile(program.id(), c, c.buSetCRC32inFile, data);
  check(dismissErrorBox(program.id()), "error box for the report");
  check(waitFor([&] { return fileButtonsEnabled(c); }), "file buttons on after the error");
  check(readFile(data).find("0x00000000") == std::string::npos, "the set itself was done");

  PostMessageA(window, WM_CLOSE, 0, 0);
  checkEqual(program.exitStatus(), 0L, "exit status after closing");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::printf("usage: drive_window KORVALE_EXE\n");
    return 2;
  }
  std::setvbuf(stdout, nullptr, _IONBF, 0);
  std::array<char, MAX_PATH> exe{};
  GetFullPathNameA(argv[1], static_cast<DWORD>(exe.size()), exe.data(), nullptr);
  ScratchDir dir;
  driveSession(exe.data(), dir);
  driveWithBrokenOutput(exe.data(), dir);
  std::printf("%s: %d failure(s)\n", failures ? "FAILED" : "passed", failures);
  return failures ? 1 : 0;
}
