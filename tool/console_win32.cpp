// Win32 console: the raw command line split by the program's own rule, and WriteFile on the
// standard handles, which passes bytes through unconverted.
#include <windows.h>

#include "command_line.h"
#include "console.h"

namespace korvale {
namespace {

bool writeAll(HANDLE handle, std::string_view bytes) {
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

}  // namespace

void prepareConsole() {}

std::vector<std::string> programArguments(int, char**) {
  std::vector<std::string> words = splitCommandLine(GetCommandLineA());
  if (!words.empty()) words.erase(words.begin());  // the program name
  return words;
}

bool writeStandardOutput(std::string_view bytes) {
  return writeAll(GetStdHandle(STD_OUTPUT_HANDLE), bytes);
}

void writeStandardError(std::string_view text) { writeAll(GetStdHandle(STD_ERROR_HANDLE), text); }

}  // namespace korvale
