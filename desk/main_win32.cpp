// KorvaleDesk.exe's entry point: the switches and paths on its command line, read wide so that
// every name arrives, the paths made full here (in this process's current folder) so that the
// rows keep naming the same files whatever folder a dialog moves to, and whichever window takes
// them: the one already open for this user and session, or a new one.
//
//   KorvaleDesk.exe [/stamp] [--] [PATH...]
#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

#include <string>
#include <vector>

#include "handoff.h"
#include "instance_win32.h"
#include "standard_streams.h"
#include "window.h"

namespace {

using korvale::desk::CommandLine;

constexpr wchar_t kTitle[] = L"Korvale Desk";
constexpr wchar_t kUsage[] =
    L"KorvaleDesk.exe [/stamp] [--] [PATH...]\n\n"
    L"Checks the files and folders named (a folder: its .xml files, at any depth) and lists one "
    L"row per file. A Korvale Desk window already open takes them.\n\n"
    L"/stamp\tstamps the files found, after a question that names how many\n"
    L"--\tevery argument after it is a path, also one that begins with /\n"
    L"/?\tthis text";

std::u16string fullPath(const std::u16string& path) {
  const std::wstring name(path.begin(), path.end());
  std::wstring full(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length =
        GetFullPathNameW(name.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    if (length == 0) return path;  // the walk reports what it cannot reach
    if (length < full.size()) {
      full.resize(length);
      return {full.begin(), full.end()};
    }
    full.resize(length);
  }
}

int refuse(const std::wstring& why) {
  MessageBoxW(nullptr, (why + L"\n\n" + kUsage).c_str(), kTitle, MB_OK | MB_ICONERROR);
  return 2;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int show) {
  korvale::secureStandardStreams();
  int count = 0;
  wchar_t** arguments = CommandLineToArgvW(GetCommandLineW(), &count);
  std::vector<std::u16string> words;
  for (int i = 1; arguments && i < count; ++i) {
    words.emplace_back(arguments[i], arguments[i] + wcslen(arguments[i]));
  }
  LocalFree(arguments);

  CommandLine line = korvale::desk::parseCommandLine(words);
  switch (line.outcome) {
    case CommandLine::Outcome::kRun:
      break;
    case CommandLine::Outcome::kUsage:
      MessageBoxW(nullptr, kUsage, kTitle, MB_OK | MB_ICONINFORMATION);
      return 0;
    case CommandLine::Outcome::kUnknownSwitch:
      return refuse(L"Unknown switch: " + std::wstring(line.unknown.begin(), line.unknown.end()) +
                    L"\nA path that begins with / goes after --.");
    case CommandLine::Outcome::kStampWithoutPaths:
      return refuse(L"/stamp needs the files or folders to stamp.");
  }
  for (std::u16string& path : line.request.paths) path = fullPath(path);

  korvale::desk::SingleInstance instance;
  const auto message = korvale::desk::encodeHandoff(line.request);
  if (instance.start(message ? &*message : nullptr) ==
      korvale::desk::SingleInstance::Start::kHandedOff) {
    return 0;
  }
  return korvale::desk::runWindow(std::move(line.request), show, instance);
}
