// Win32 console: the wide command line split by the system's rule, UTF-8 out (as UTF-16 text
// on a console window, as bytes to files and pipes), lists read as UTF-8.
#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

#include <atomic>
#include <thread>

#include "console.h"
#include "text.h"
#include "wide_win32.h"

namespace korvale::batch {

using namespace engine;
namespace {

bool isConsole(HANDLE handle) {
  DWORD mode;
  return GetConsoleMode(handle, &mode) != 0;
}

bool writeTo(DWORD which, std::string_view bytes) {
  const HANDLE handle = GetStdHandle(which);
  if (isConsole(handle)) {
    const std::u16string text = utf16FromWtf8(bytes);
    DWORD written = 0;
    return WriteConsoleW(handle, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  }
  while (!bytes.empty()) {
    DWORD written = 0;
    if (!WriteFile(handle, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) ||
        written == 0) {
      return false;
    }
    bytes.remove_prefix(written);
  }
  return true;
}

// What cmd.exe reports for a program ended by Ctrl+C.
constexpr int kInterruptedStatus = static_cast<int>(0xC000013A);  // STATUS_CONTROL_C_EXIT

std::atomic<DWORD> interrupt{0};  // the console event received first, plus one

BOOL WINAPI onConsoleEvent(DWORD event) {
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT) {
    return FALSE;
  }
  // A second: end now. Each write of the digits is a single call, so none is cut in two.
  if (interrupt.exchange(event + 1) != 0) ExitProcess(kInterruptedStatus);
  // The system ends the process once this returns from a closing console: hold it until the
  // run has reported and ends the process itself (the system waits a few seconds at most).
  if (event == CTRL_CLOSE_EVENT) Sleep(INFINITE);
  return TRUE;
}

// Waits for bytes a tenth of a second at a time, so that an interrupt ends the wait on a list
// that a producer has stopped feeding without closing it. Files never make a reader wait.
bool waitForBytes(HANDLE handle) {
  const DWORD type = GetFileType(handle);
  for (;;) {
    if (type == FILE_TYPE_PIPE) {
      DWORD available = 0;
      if (!PeekNamedPipe(handle, nullptr, 0, nullptr, &available, nullptr) || available > 0) {
        return true;  // bytes, or the end or an error, which the read reports
      }
      Sleep(20);
    } else if (type != FILE_TYPE_CHAR || WaitForSingleObject(handle, 100) != WAIT_TIMEOUT) {
      return true;
    }
    if (interrupt.load() != 0) return false;
  }
}

class HandleSource final : public ByteSource {
 public:
  HandleSource(HANDLE handle, bool owned) : handle_(handle), owned_(owned) {}
  ~HandleSource() override {
    if (owned_) CloseHandle(handle_);
  }
  HandleSource(const HandleSource&) = delete;
  HandleSource& operator=(const HandleSource&) = delete;

  int64_t read(std::span<char> buffer) override {
    if (!waitForBytes(handle_)) return 0;
    DWORD done = 0;
    if (ReadFile(handle_, buffer.data(), static_cast<DWORD>(buffer.size()), &done, nullptr)) {
      return done;
    }
    return GetLastError() == ERROR_BROKEN_PIPE ? 0 : -1;  // the writing end closed: the end
  }

 private:
  HANDLE handle_;
  bool owned_;
};

}  // namespace

std::string_view programName() { return "KorvaleBatch"; }

PathForm pathForm() { return PathForm::kWtf8; }

void prepareConsole() {}

void catchInterrupts() { SetConsoleCtrlHandler(onConsoleEvent, TRUE); }

int interruptStatus() { return interrupt.load() == 0 ? 0 : kInterruptedStatus; }

std::string_view interruptName() {
  switch (interrupt.load()) {
    case CTRL_C_EVENT + 1:
      return "Ctrl+C";
    case CTRL_BREAK_EVENT + 1:
      return "Ctrl+Break";
    case CTRL_CLOSE_EVENT + 1:
      return "the console's closing";
    default:
      return "";
  }
}

std::vector<std::string> programArguments(int, char**) {
  int count = 0;
  wchar_t** words = CommandLineToArgvW(GetCommandLineW(), &count);
  std::vector<std::string> arguments;
  for (int i = 1; words && i < count; ++i) arguments.push_back(pathFromWide(words[i]));
  LocalFree(words);
  return arguments;
}

bool writeOutput(std::string_view bytes) { return writeTo(STD_OUTPUT_HANDLE, bytes); }

void writeError(std::string_view text) { writeTo(STD_ERROR_HANDLE, text); }

bool outputIsTerminal() { return isConsole(GetStdHandle(STD_OUTPUT_HANDLE)); }

bool errorIsTerminal() { return isConsole(GetStdHandle(STD_ERROR_HANDLE)); }

unsigned processorCount() { return std::max(1u, std::thread::hardware_concurrency()); }

std::unique_ptr<ByteSource> openList(const std::string& name, std::string& error) {
  if (name == "-") return std::make_unique<HandleSource>(GetStdHandle(STD_INPUT_HANDLE), false);
  const HANDLE handle =
      CreateFileW(systemPath(name).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                  nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    error = "cannot open '" + name + "' (error " + std::to_string(GetLastError()) + ")";
    return nullptr;
  }
  return std::make_unique<HandleSource>(handle, true);
}

// 32,767 UTF-16 characters in the \\?\ form, each at most three bytes of WTF-8.
std::size_t longestPath() { return 32767 * 3; }

bool listLinesMayEndWithCarriageReturn() { return true; }

// Lists are UTF-8; one that is not was written in the system's ANSI code page.
std::string pathFromListEntry(std::string entry) {
  if (isValidUtf8(entry)) return entry;
  std::wstring wide(
      MultiByteToWideChar(CP_ACP, 0, entry.data(), static_cast<int>(entry.size()), nullptr, 0),
      L'\0');
  MultiByteToWideChar(CP_ACP, 0, entry.data(), static_cast<int>(entry.size()), wide.data(),
                      static_cast<int>(wide.size()));
  return pathFromWide(wide.c_str());
}

}  // namespace korvale::batch
