// probe_desk: looks, from outside, at the KorvaleDesk windows of its session (under Wine: of
// its prefix) and waits at most SECONDS (default 60) for a condition.
//
//   probe_desk [--confirm] rows N [SECONDS]
//       exactly one KorvaleDesk window, whose list holds N rows, with nothing in hand: no paths
//       queued, no check or stamp running, no stamp waiting for its question or its answer
//   probe_desk [--confirm] windows N [SECONDS]
//       exactly N KorvaleDesk windows (0: every one has closed)
//
// --confirm: presses OK on every question a KorvaleDesk window asks meanwhile (the Stamp of
// KorvaleDesk.exe /stamp, a Reset), as a user who agrees would, and names it on standard error.
//
// Prints on standard output, in UTF-8 with lines ending in LF, once the condition holds or the time
// is up:
//   windows K            K: the number of KorvaleDesk top-level windows
//   PATH<TAB>RESULT      one line per row of each window, in the order shown; RESULT is the
//                        Result column's word ("stamp OK", "not stamped", ...)
// Exit status: 0 when the condition held, 1 when it did not (the lines show what was seen
// last), 2 when the command line is not one of the above.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "desk_remote.h"

namespace {

using namespace desk_remote;

int usage() {
  std::fprintf(stderr, "usage: probe_desk [--confirm] rows|windows N [SECONDS]\n");
  return 2;
}

bool number(const char* text, unsigned long& value) {
  char* end = nullptr;
  value = std::strtoul(text, &end, 10);
  return *text >= '0' && *text <= '9' && end && *end == '\0';
}

bool working(HWND status) { return textOf(status).value_or(L"Working").starts_with(L"Working"); }

// Presses OK, once, on each question box of a KorvaleDesk process.
void confirmQuestions(std::set<HWND>& pressed) {
  std::set<DWORD> processes;
  for (const DeskParts& desk : deskWindows()) processes.insert(desk.process);
  for (const DWORD process : processes) {
    for (HWND box : topLevelWindows(L"#32770", process)) {
      HWND ok = GetDlgItem(box, IDOK);
      if (!ok || !pressed.insert(box).second) continue;
      std::wstring question = textOf(GetDlgItem(box, 0xFFFF)).value_or(L"");
      for (wchar_t& c : question) {
        if (c == L'\r' || c == L'\n') c = L' ';
      }
      std::fprintf(stderr, "probe_desk: confirmed \"%s\"\n", utf8(question).c_str());
      PostMessageW(ok, BM_CLICK, 0, 0);
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  int at = 1;
  const bool confirm = at < argc && std::strcmp(argv[at], "--confirm") == 0;
  if (confirm) ++at;
  if (argc - at < 2 || argc - at > 3) return usage();
  const std::string condition = argv[at];
  unsigned long wanted = 0, seconds = 60;
  if ((condition != "rows" && condition != "windows") || !number(argv[at + 1], wanted) ||
      (argc - at == 3 && !number(argv[at + 2], seconds))) {
    return usage();
  }

  _setmode(_fileno(stdout), _O_BINARY);  // LF, not CR LF: the lines are read on Linux too
  std::set<HWND> pressed;
  const bool met = waitFor(
      [&] {
        if (confirm) confirmQuestions(pressed);
        const std::vector<DeskParts> desks = deskWindows();
        if (condition == "windows") return desks.size() == wanted;
        return desks.size() == 1 && rowCount(desks[0].list) == wanted && settled(desks[0].window) &&
               !working(desks[0].status);
      },
      static_cast<double>(seconds));

  const std::vector<DeskParts> desks = deskWindows();
  std::string out = "windows " + std::to_string(desks.size()) + "\n";
  for (const DeskParts& desk : desks) {
    RemoteItem remote(desk.process);
    for (const Shown& row : rowsOf(desk.list, remote)) out += row.path + "\t" + row.result + "\n";
  }
  std::fwrite(out.data(), 1, out.size(), stdout);
  return met ? 0 : 1;
}
