// How long KorvaleDesk.exe takes to show a folder complete in its list (a row for every file,
// the work over), against KorvaleBatch.exe check of the same folder; both started by this
// program the same way, one after the other. bench/run runs it under Wine on a private X server.
// Prints one line per round: "desk SECONDS batch SECONDS".
// Usage: desk_bench KORVALEDESK_EXE KORVALEBATCH_EXE FOLDER FILES ROUNDS
#include <windows.h>
// After windows.h, which it needs.
#include <commctrl.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

std::wstring wide(const char* text) {
  std::wstring out(strlen(text) + 1, L'\0');
  out.resize(static_cast<std::size_t>(
      MultiByteToWideChar(CP_UTF8, 0, text, -1, out.data(), static_cast<int>(out.size())) - 1));
  return out;
}

PROCESS_INFORMATION start(const std::wstring& commandLine, HANDLE output) {
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  if (output) {
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = startup.hStdError = output;
  }
  PROCESS_INFORMATION process{};
  std::wstring line = commandLine;
  if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, output != nullptr, 0, nullptr,
                      nullptr, &startup, &process)) {
    std::fprintf(stderr, "desk_bench: cannot start %ls\n", commandLine.c_str());
    std::exit(1);
  }
  return process;
}

struct Search {
  DWORD id;
  HWND found;
};

BOOL CALLBACK matchDesk(HWND window, LPARAM context) {
  auto& search = *reinterpret_cast<Search*>(context);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  std::array<wchar_t, 64> name{};
  GetClassNameW(window, name.data(), name.size());
  // Visible: its controls are made by then.
  if (owner != search.id || !IsWindowVisible(window) ||
      std::wstring(name.data()) != L"KorvaleDesk") {
    return TRUE;
  }
  search.found = window;
  return FALSE;
}

// Polls `done` every few milliseconds, for two minutes at most.
template <typename Condition>
void await(Condition done, const char* what) {
  const auto end = Clock::now() + std::chrono::minutes(2);
  while (!done()) {
    if (Clock::now() > end) {
      std::fprintf(stderr, "desk_bench: %s did not happen\n", what);
      std::exit(1);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

// From the start of KorvaleDesk to its list complete: every file a row, and the status bar
// past "Working:" to the count of files.
double timeDesk(const std::wstring& exe, const std::wstring& folder, std::size_t files) {
  const auto begin = Clock::now();
  PROCESS_INFORMATION process = start(L"\"" + exe + L"\" \"" + folder + L"\"", nullptr);
  Search search{process.dwProcessId, nullptr};
  await(
      [&] {
        EnumWindows(matchDesk, reinterpret_cast<LPARAM>(&search));
        return search.found != nullptr;
      },
      "the window");
  HWND list = FindWindowExW(search.found, nullptr, WC_LISTVIEWW, nullptr);
  HWND status = FindWindowExW(search.found, nullptr, STATUSCLASSNAMEW, nullptr);
  const std::wstring complete = std::to_wstring(files) + L" files";
  await(
      [&] {
        std::array<wchar_t, 512> text{};
        SendMessageW(status, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
        return static_cast<std::size_t>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0)) == files &&
               std::wstring(text.data()).starts_with(complete);
      },
      "the complete list");
  const std::chrono::duration<double> elapsed = Clock::now() - begin;
  PostMessageW(search.found, WM_CLOSE, 0, 0);
  WaitForSingleObject(process.hProcess, INFINITE);
  CloseHandle(process.hProcess);
  CloseHandle(process.hThread);
  return elapsed.count();
}

double timeBatch(const std::wstring& exe, const std::wstring& folder) {
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE discard =
      CreateFileW(L"NUL", GENERIC_WRITE, FILE_SHARE_WRITE, &inherit, OPEN_EXISTING, 0, nullptr);
  const auto begin = Clock::now();
  PROCESS_INFORMATION process = start(L"\"" + exe + L"\" check \"" + folder + L"\"", discard);
  WaitForSingleObject(process.hProcess, INFINITE);
  const std::chrono::duration<double> elapsed = Clock::now() - begin;
  CloseHandle(process.hProcess);
  CloseHandle(process.hThread);
  CloseHandle(discard);
  return elapsed.count();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 6) {
    std::fprintf(stderr,
                 "usage: desk_bench KORVALEDESK_EXE KORVALEBATCH_EXE FOLDER FILES ROUNDS\n");
    return 2;
  }
  const std::wstring desk = wide(argv[1]), batch = wide(argv[2]), folder = wide(argv[3]);
  const std::size_t files = std::stoul(argv[4]);
  const int rounds = std::stoi(argv[5]);
  for (int round = 0; round < rounds; ++round) {
    const double deskSeconds = timeDesk(desk, folder, files);
    const double batchSeconds = timeBatch(batch, folder);
    std::printf("desk %.4f batch %.4f\n", deskSeconds, batchSeconds);
    std::fflush(stdout);
  }
  return 0;
}
