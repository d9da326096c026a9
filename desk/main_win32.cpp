// KorvaleDesk.exe's entry point: the paths on its command line, read wide so that every name
// arrives, made full so that the rows keep naming the same files whatever folder a dialog
// moves to.
#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

#include <string>
#include <vector>

#include "standard_streams.h"
#include "wide_win32.h"
#include "window.h"

namespace {

std::wstring fullPath(const wchar_t* path) {
  std::wstring full(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length =
        GetFullPathNameW(path, static_cast<DWORD>(full.size()), full.data(), nullptr);
    if (length == 0) return path;  // the walk reports what it cannot reach
    if (length < full.size()) {
      full.resize(length);
      return full;
    }
    full.resize(length);
  }
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int show) {
  korvale::secureStandardStreams();
  int count = 0;
  wchar_t** arguments = CommandLineToArgvW(GetCommandLineW(), &count);
  std::vector<std::string> paths;
  for (int i = 1; arguments && i < count; ++i) {
    paths.push_back(korvale::engine::pathFromWide(fullPath(arguments[i]).c_str()));
  }
  LocalFree(arguments);
  return korvale::desk::runWindow(std::move(paths), show);
}
