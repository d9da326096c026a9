// Drives KorvaleDesk's single instance from outside under Wine and Xvfb. Two starts in quick
// succession (one with a path relative to its own current folder) end in one window holding
// both files, and the start that handed over ends with status 0; malformed WM_COPYDATA
// messages are refused and the window lives on, while a well-formed one is taken; twenty
// starts at once end in one window with every file (read back by probe_desk, whose output and
// exit status are checked on the way); /stamp handed over to the open window asks, and once
// confirmed stamps the file (only the eight digits change); /stamp alone and an unknown switch
// each say why in a message box and end with status 2; a path after -- that looks like a
// switch is a path. No step ever shows a second window. Last, the window published for later
// starts, withdrawn when it closes, and passed over once its process was killed; and a window
// that does not answer, whose next start opens a window of its own rather than lose its file.
//
// Usage: drive_instance KORVALEDESK_EXE PROBE_DESK_EXE
//        drive_instance KORVALEDESK_EXE PROBE_DESK_EXE --measure N
// The second form only measures: N starts with one path each, started in a loop, until one
// window lists all N files; it prints the time and asserts nothing about it.
#include <windows.h>
// After windows.h, which it needs.
#include <sddl.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "desk_remote.h"
#include "handoff.h"

namespace {

using namespace desk_remote;

int failures = 0;

void check(bool ok, const std::string& what) {
  if (!ok) {
    ++failures;
    std::printf("FAIL: %s\n", what.c_str());
  }
}

// Generous bounds, for the 32-bit lane's emulated machine; every wait ends as soon as it can.
constexpr double kWait = 300;
constexpr DWORD kExitWait = 120000;

std::wstring exe, probe;

struct Started {
  HANDLE process = nullptr;
  DWORD id = 0;
};

Started start(const std::wstring& arguments, const wchar_t* folder = nullptr) {
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  std::wstring commandLine = L"\"" + exe + L"\" " + arguments;
  const bool started = CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0,
                                      nullptr, folder, &startup, &info);
  check(started, "start KorvaleDesk " + utf8(arguments));
  if (!started) return {};
  CloseHandle(info.hThread);
  return {info.hProcess, info.dwProcessId};
}

// The process's exit status once it has ended within `ms`; none otherwise.
std::optional<DWORD> exitOf(const Started& started, DWORD ms = kExitWait) {
  DWORD status = 0;
  if (!started.process || WaitForSingleObject(started.process, ms) != WAIT_OBJECT_0 ||
      !GetExitCodeProcess(started.process, &status)) {
    return std::nullopt;
  }
  return status;
}

// The most KorvaleDesk windows seen at once, looked at on a thread of its own meanwhile.
class WindowWatch {
 public:
  WindowWatch()
      : thread_([this] {
          while (!stop_) {
            const std::size_t now = deskWindows().size();
            if (now > most_) most_ = now;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
          }
        }) {}
  ~WindowWatch() {
    stop_ = true;
    thread_.join();
  }
  std::size_t most() const { return most_; }

 private:
  std::atomic<bool> stop_ = false;
  std::atomic<std::size_t> most_ = 0;
  std::thread thread_;
};

// Exactly one window, holding `rows` rows, with nothing in hand; that window.
std::optional<DeskParts> oneWindowWith(std::size_t rows, double seconds = kWait) {
  std::optional<DeskParts> found;
  waitFor(
      [&] {
        const std::vector<DeskParts> desks = deskWindows();
        if (desks.size() == 1 && rowCount(desks[0].list) == rows && settled(desks[0].window) &&
            idleWithFiles(desks[0].status, rows)) {
          found = desks[0];
        }
        return found.has_value();
      },
      seconds);
  return found;
}

std::set<std::string> pathsShown(const DeskParts& desk) {
  RemoteItem remote(desk.process);
  std::set<std::string> paths;
  for (const Shown& row : rowsOf(desk.list, remote)) paths.insert(row.path);
  return paths;
}

std::string resultOf(const DeskParts& desk, const std::wstring& path) {
  RemoteItem remote(desk.process);
  for (const Shown& row : rowsOf(desk.list, remote)) {
    if (row.path == utf8(path)) return row.result;
  }
  return "(no row)";
}

std::wstring fullPath(const std::wstring& path) {
  std::array<wchar_t, MAX_PATH> full{};
  GetFullPathNameW(path.c_str(), full.size(), full.data(), nullptr);
  return full.data();
}

void closeDesk(const DeskParts& desk, const Started& owner) {
  PostMessageW(desk.window, WM_CLOSE, 0, 0);
  check(exitOf(owner) == 0u, "the window's process ends with status 0 when it closes");
  check(waitFor([] { return deskWindows().empty(); }, kWait), "no window is left");
}

// A message box of `started`, once it shows one: its text checked, then OK pressed.
void answerBox(const Started& started, const std::wstring& expected, const std::string& what) {
  HWND box = waitForTopLevel(started.id, L"#32770");
  check(box != nullptr, what + ": a message box");
  if (!box) return;
  const std::wstring text = textOf(GetDlgItem(box, 0xFFFF)).value_or(L"");
  check(text.find(expected) != std::wstring::npos, what + ": the message says " + utf8(text));
  PostMessageW(GetDlgItem(box, IDOK), BM_CLICK, 0, 0);
}

// Sends a WM_COPYDATA message as any program of the session could; the window's answer.
std::optional<LRESULT> sendCopyData(HWND window, ULONG_PTR tag, const void* bytes, DWORD size) {
  COPYDATASTRUCT data{tag, size, const_cast<void*>(bytes)};
  DWORD_PTR answer = 0;
  if (!SendMessageTimeoutW(window, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data), SMTO_NORMAL,
                           10000, &answer)) {
    return std::nullopt;
  }
  return static_cast<LRESULT>(answer);
}

std::vector<uint8_t> bytesOf(const korvale::desk::Request& request) {
  return korvale::desk::encodeHandoff(request).value_or(std::vector<uint8_t>{});
}

std::u16string u16(const std::wstring& text) { return {text.begin(), text.end()}; }

void twoQuickStarts(const std::wstring& root) {
  const std::wstring one = root + L"\\one.xml", sub = root + L"\\sub";
  const std::wstring two = sub + L"\\two.xml", sent = root + L"\\sent.xml";
  WindowWatch watch;
  // The second names its file relative to its own current folder, not the window's.
  Started a = start(L"\"" + one + L"\"", root.c_str());
  Started b = start(L"two.xml", sub.c_str());
  const HANDLE both[] = {a.process, b.process};
  const DWORD first = WaitForMultipleObjects(2, both, FALSE, kExitWait);
  check(first == WAIT_OBJECT_0 || first == WAIT_OBJECT_0 + 1, "one of two quick starts ends");
  if (first != WAIT_OBJECT_0 && first != WAIT_OBJECT_0 + 1) return;
  const Started handedOver = first == WAIT_OBJECT_0 ? a : b;
  const Started owner = first == WAIT_OBJECT_0 ? b : a;
  check(exitOf(handedOver) == 0u, "the start that handed over ends with status 0");
  const std::optional<DeskParts> desk = oneWindowWith(2);
  check(desk.has_value(), "two quick starts: one window with two rows");
  if (!desk) return;
  check(desk->process == owner.id, "the window is the other start's");
  check(pathsShown(*desk) == std::set<std::string>{utf8(one), utf8(two)},
        "two quick starts: both files, the relative one made full in its own folder");

  // Malformed messages: each refused, nothing added, the window lives on.
  using korvale::desk::kHandoffTag;
  using korvale::desk::Mode;
  const std::vector<uint8_t> good = bytesOf({Mode::kCheck, {u16(sent)}});
  std::vector<uint8_t> wrongMagic = good, oddSize = good, moreCounted = good, embeddedNul = good;
  wrongMagic[0] ^= 1;
  oddSize.push_back(0);
  moreCounted[12] = 2;
  embeddedNul[good.size() - 4] = 0;
  std::vector<uint8_t> garbage(1 << 16);
  for (std::size_t i = 0; i < garbage.size(); ++i) garbage[i] = static_cast<uint8_t>(i * 7919);
  std::copy_n(good.begin(), 12, garbage.begin());
  const struct {
    const char* what;
    ULONG_PTR tag;
    std::vector<uint8_t> bytes;
  } malformed[] = {
      {"another tag", kHandoffTag + 1, good},
      {"no bytes", kHandoffTag, {}},
      {"shorter than the header", kHandoffTag,
       std::vector<uint8_t>(good.begin(), good.begin() + 8)},
      {"wrong magic", kHandoffTag, wrongMagic},
      {"an odd byte count", kHandoffTag, oddSize},
      {"more paths counted than held", kHandoffTag, moreCounted},
      {"an embedded NUL", kHandoffTag, embeddedNul},
      {"64 KiB of garbage after the header's start", kHandoffTag, garbage},
  };
  for (const auto& [what, tag, bytes] : malformed) {
    const std::optional<LRESULT> answer =
        sendCopyData(desk->window, tag, bytes.empty() ? nullptr : bytes.data(),
                     static_cast<DWORD>(bytes.size()));
    check(answer == FALSE, std::string("a message with ") + what + " is refused");
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(300));  // time to go wrong, if it would
  check(IsWindow(desk->window) && textOf(desk->window).has_value(),
        "the window lives on after malformed messages");
  check(oneWindowWith(2, 5).has_value(), "malformed messages add no row");
  // A well-formed message from any program is taken.
  check(
      sendCopyData(desk->window, kHandoffTag, good.data(), static_cast<DWORD>(good.size())) == TRUE,
      "a well-formed message is taken");
  const std::optional<DeskParts> after = oneWindowWith(3);
  check(after && pathsShown(*after).contains(utf8(sent)), "the message's file is listed");

  // A start hands over and the window comes to the front, from behind another window.
  HWND other = CreateWindowExW(0, L"STATIC", L"in front", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0,
                               200, 100, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
  SetForegroundWindow(other);
  check(GetForegroundWindow() == other, "another window in front");
  const Started third = start(L"\"" + one + L"\"");
  check(exitOf(third) == 0u, "a third start hands over: status 0");
  check(oneWindowWith(4).has_value(), "the third start's file is listed (again)");
  check(waitFor([&] { return GetForegroundWindow() == desk->window; }, 10),
        "the window comes to the front");
  DestroyWindow(other);
  CloseHandle(third.process);

  closeDesk(*desk, owner);
  check(watch.most() == 1,
        "two quick starts: never a second window (seen: " + std::to_string(watch.most()) + ")");
  CloseHandle(a.process);
  CloseHandle(b.process);
}

// Twenty starts at once: one window with every file, read back by probe_desk. Then /stamp
// handed over to that window, the switch errors, and a path after --. Closes the window.
void manyAtOnce(const std::wstring& root) {
  constexpr int kStarts = 20;
  const std::wstring many = root + L"\\many";
  CreateDirectoryW(many.c_str(), nullptr);
  const std::string content = dataFile("crc32=\"0x00000000\"");
  std::vector<std::wstring> files;
  std::set<std::string> expected;
  for (int i = 0; i < kStarts; ++i) {
    files.push_back(many + L"\\f" + std::to_wstring(100 + i) + L".xml");
    writeFile(files.back(), content);
    expected.insert(utf8(files.back()));
  }
  WindowWatch watch;
  std::vector<Started> starts;
  for (const std::wstring& file : files) starts.push_back(start(L"\"" + file + L"\""));

  DWORD probeStatus = 0;
  const auto begin = std::chrono::steady_clock::now();
  const std::string seen = run(L"\"" + probe + L"\" rows 20 300", &probeStatus);
  std::printf("twenty starts at once: one window listing every file after %.1f s\n",
              std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count());
  check(probeStatus == 0,
        "probe_desk rows 20: status " + std::to_string(probeStatus) + ", output:\n" + seen);
  std::vector<std::string> lines;
  for (std::size_t at = 0, end; (end = seen.find('\n', at)) != std::string::npos; at = end + 1) {
    lines.push_back(seen.substr(at, end - at));
  }
  check(!lines.empty() && lines[0] == "windows 1", "probe_desk: one window");
  std::set<std::string> listed;
  for (std::size_t i = 1; i < lines.size(); ++i) {
    const std::size_t tab = lines[i].find('\t');
    check(tab != std::string::npos && lines[i].substr(tab + 1) == "not stamped",
          "probe_desk's row: " + lines[i]);
    listed.insert(lines[i].substr(0, tab));
  }
  check(lines.size() == kStarts + 1 && listed == expected,
        "twenty starts at once: every file in the one window (" + std::to_string(listed.size()) +
            " of " + std::to_string(kStarts) + ")");
  const std::optional<DeskParts> desk = oneWindowWith(kStarts);
  check(desk.has_value(), "twenty starts at once: one window");
  if (!desk) return;
  Started owner;
  int handedOver = 0;
  for (const Started& started : starts) {
    if (started.id == desk->process) {
      owner = started;
    } else {
      handedOver += exitOf(started) == 0u;
    }
  }
  check(owner.process != nullptr && handedOver == kStarts - 1,
        std::to_string(handedOver) + " starts handed over and ended with status 0");
  DWORD missStatus = 0;
  const std::string miss = run(L"\"" + probe + L"\" rows 999 1", &missStatus);
  check(missStatus == 1 && miss.starts_with("windows 1\n"),
        "probe_desk: status 1 when the condition does not come true");

  // /stamp handed over: the window asks, and stamps once confirmed.
  const std::wstring stamp = root + L"\\stamp.xml";
  writeFile(stamp, content);
  const Started stamper = start(L"/stamp \"" + stamp + L"\"");
  check(exitOf(stamper) == 0u, "/stamp handed over: status 0");
  HWND box = waitForTopLevel(owner.id, L"#32770");
  check(box != nullptr, "/stamp: the window asks");
  if (box) {
    check(textOf(box) == L"Stamp - Korvale Desk", "the question's title");
    const std::wstring question = textOf(GetDlgItem(box, 0xFFFF)).value_or(L"");
    check(question.starts_with(L"Stamp the CRC field of 1 file "),
          "the question names how many files: " + utf8(question));
    PostMessageW(GetDlgItem(box, IDOK), BM_CLICK, 0, 0);
  }
  const std::optional<DeskParts> stamped = oneWindowWith(kStarts + 1);
  check(stamped && resultOf(*stamped, stamp) == "stamp OK", "/stamp: the row shows the stamp");
  const std::string now = readFile(stamp);
  const std::size_t digits = content.find("0x00000000") + 2;
  check(now.size() == content.size() && now.substr(0, digits) == content.substr(0, digits) &&
            now.substr(digits + 8) == content.substr(digits + 8) &&
            now.substr(digits, 8) != "00000000" &&
            now.substr(digits, 8).find_first_not_of("0123456789ABCDEF") == std::string::npos,
        "/stamp changes the eight digits only");
  CloseHandle(stamper.process);

  // Switches that do not run: said in a message box, status 2, nothing handed over.
  const Started alone = start(L"/stamp");
  answerBox(alone, L"/stamp needs the files or folders to stamp.", "/stamp without paths");
  check(exitOf(alone) == 2u, "/stamp without paths: status 2");
  const Started unknown = start(L"/STAMPED \"" + stamp + L"\"");
  answerBox(unknown, L"Unknown switch: /STAMPED", "an unknown switch");
  check(exitOf(unknown) == 2u, "an unknown switch: status 2");
  // After --, a path: one that does not exist is listed as such, made full here.
  const Started dashes = start(L"-- /stamp");
  check(exitOf(dashes) == 0u, "-- /stamp handed over: status 0");
  const std::optional<DeskParts> last = oneWindowWith(kStarts + 2);
  check(last && resultOf(*last, fullPath(L"/stamp")) == "cannot open",
        "after --, /stamp is the path " + utf8(fullPath(L"/stamp")));
  for (const Started& started : {alone, unknown, dashes}) CloseHandle(started.process);

  closeDesk(*desk, owner);
  DWORD closedStatus = 0;
  const std::string closed = run(L"\"" + probe + L"\" windows 0 60", &closedStatus);
  check(closedStatus == 0 && closed == "windows 0\n", "probe_desk windows 0: " + closed);
  check(watch.most() == 1, "twenty starts at once: never a second window (seen: " +
                               std::to_string(watch.most()) + ")");
  for (const Started& started : starts) CloseHandle(started.process);
}

// The window of `process`, once it holds `rows` rows with nothing in hand.
std::optional<DeskParts> windowOf(DWORD process, std::size_t rows) {
  std::optional<DeskParts> found;
  waitFor(
      [&] {
        for (const DeskParts& desk : deskWindows()) {
          if (desk.process == process && rowCount(desk.list) == rows && settled(desk.window) &&
              idleWithFiles(desk.status, rows)) {
            found = desk;
          }
        }
        return found.has_value();
      },
      kWait);
  return found;
}

// A window that does not answer (its thread suspended here) loses no start's paths: the start
// opens a window of its own, which later starts then find.
void unansweringWindow(const std::wstring& root) {
  const std::wstring one = root + L"\\one.xml", two = root + L"\\sub\\two.xml";
  const std::wstring sent = root + L"\\sent.xml";
  const Started first = start(L"\"" + one + L"\"");
  const std::optional<DeskParts> stuck = oneWindowWith(1);
  check(stuck.has_value(), "a window to stop");
  if (!stuck) return;
  HANDLE thread =
      OpenThread(THREAD_SUSPEND_RESUME, FALSE, GetWindowThreadProcessId(stuck->window, nullptr));
  check(thread && SuspendThread(thread) != static_cast<DWORD>(-1), "the window's thread stops");

  const Started next = start(L"\"" + sent + L"\"");
  const std::optional<DeskParts> own = windowOf(next.id, 1);
  check(own && pathsShown(*own) == std::set<std::string>{utf8(sent)},
        "a start that gets no answer lists its file in a window of its own");
  const Started later = start(L"\"" + two + L"\"");
  check(exitOf(later) == 0u, "a later start hands over: status 0");
  const std::optional<DeskParts> joined = windowOf(next.id, 2);
  check(joined && pathsShown(*joined) == std::set<std::string>{utf8(sent), utf8(two)},
        "the later start's file joins the window that answers");

  if (thread) {
    ResumeThread(thread);
    CloseHandle(thread);
  }
  check(windowOf(first.id, 1).has_value(), "the stopped window goes on, with its own row");
  PostMessageW(stuck->window, WM_CLOSE, 0, 0);
  check(exitOf(first) == 0u, "the stopped window closes");
  if (own) closeDesk(*own, next);
  for (const Started& started : {first, next, later}) CloseHandle(started.process);
}

// The block the starts share (desk/instance_win32.h), held open here so that it outlives the
// windows: the window published in it, withdrawn when it closes; one left there by a process
// that was killed is passed over by the next start, which publishes its own.
void publishedWindow(const std::wstring& root) {
  std::wstring sid;
  HANDLE token = nullptr;
  if (OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    std::vector<uint8_t> user(size);
    wchar_t* text = nullptr;
    if (GetTokenInformation(token, TokenUser, user.data(), size, &size) &&
        ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid, &text)) {
      sid = text;
      LocalFree(text);
    }
    CloseHandle(token);
  }
  HANDLE block = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 16,
                                    (L"Local\\Korvale.Desk." + sid + L".Window").c_str());
  const auto* shared =
      block ? static_cast<const volatile LONG64*>(MapViewOfFile(block, FILE_MAP_READ, 0, 0, 16))
            : nullptr;
  check(shared != nullptr, "the shared block opens (" + utf8(sid) + ")");
  if (!shared) return;
  const auto published = [&] { return reinterpret_cast<HWND>(static_cast<intptr_t>(shared[0])); };

  const Started killed = start(L"\"" + root + L"\\one.xml\"");
  const std::optional<DeskParts> first = oneWindowWith(1);
  check(first && published() == first->window, "the window is published");
  TerminateProcess(killed.process, 9);
  WaitForSingleObject(killed.process, kExitWait);
  CloseHandle(killed.process);
  check(
      waitFor([] { return deskWindows().empty(); }, kWait) && first && published() == first->window,
      "a killed window's process leaves its window published");

  const Started next = start(L"\"" + root + L"\\sent.xml\"");
  const std::optional<DeskParts> second = oneWindowWith(1);
  check(second && second->process == next.id && published() == second->window &&
            pathsShown(*second) == std::set<std::string>{utf8(root + L"\\sent.xml")},
        "the next start passes over the dead window and publishes its own");
  if (second) closeDesk(*second, next);
  check(published() == nullptr, "a window that closes withdraws itself");
  CloseHandle(next.process);
  UnmapViewOfFile(const_cast<LONG64*>(shared));
  CloseHandle(block);
}

// N starts of one path each, started in a loop: the time until one window lists them all.
void measure(const std::wstring& root, int count) {
  const std::wstring folder = root + L"\\measure";
  CreateDirectoryW(folder.c_str(), nullptr);
  const std::string content = dataFile("crc32=\"0x00000000\"");
  std::vector<std::wstring> arguments;
  for (int i = 0; i < count; ++i) {
    const std::wstring file = folder + L"\\m" + std::to_wstring(10000 + i) + L".xml";
    writeFile(file, content);
    arguments.push_back(L"\"" + file + L"\"");
  }
  WindowWatch watch;
  const auto begin = std::chrono::steady_clock::now();
  std::vector<Started> starts;
  for (const std::wstring& argument : arguments) starts.push_back(start(argument));
  const auto started = std::chrono::steady_clock::now();
  const std::optional<DeskParts> desk = oneWindowWith(static_cast<std::size_t>(count), 600);
  const auto listed = std::chrono::steady_clock::now();
  const auto seconds = [&](auto end) { return std::chrono::duration<double>(end - begin).count(); };
  std::printf(
      "%d starts of one path each: started within %.1f s; one window listing all %d "
      "after %.1f s; most windows seen at once: %zu\n",
      count, seconds(started), count, seconds(listed), watch.most());
  check(desk.has_value(), "one window listing every file");
  for (const Started& start : starts) {
    if (desk && start.id == desk->process) {
      closeDesk(*desk, start);
    } else {
      exitOf(start);
    }
    CloseHandle(start.process);
  }
}

std::wstring fullArgument(const char* argument) {
  std::array<wchar_t, MAX_PATH> full{};
  GetFullPathNameW(std::wstring(argument, argument + strlen(argument)).c_str(), full.size(),
                   full.data(), nullptr);
  return full.data();
}

}  // namespace

int main(int argc, char** argv) {
  const bool measuring = argc == 5 && std::string(argv[3]) == "--measure";
  if (argc != 3 && !measuring) {
    std::printf("usage: drive_instance KORVALEDESK_EXE PROBE_DESK_EXE [--measure N]\n");
    return 2;
  }
  std::setvbuf(stdout, nullptr, _IONBF, 0);
  exe = fullArgument(argv[1]);
  probe = fullArgument(argv[2]);
  std::array<wchar_t, MAX_PATH> temp{};
  GetTempPathW(temp.size(), temp.data());
  const std::wstring root =
      std::wstring(temp.data()) + L"korvale-instance-" + std::to_wstring(GetCurrentProcessId());
  removeTree(root);  // a process id comes round again
  CreateDirectoryW(root.c_str(), nullptr);
  CreateDirectoryW((root + L"\\sub").c_str(), nullptr);
  const std::string zero = dataFile("crc32=\"0x00000000\"");
  for (const wchar_t* name : {L"\\one.xml", L"\\sub\\two.xml", L"\\sent.xml"}) {
    writeFile(root + name, zero);
  }
  check(deskWindows().empty(), "no KorvaleDesk window runs before the test");

  if (measuring) {
    measure(root, std::atoi(argv[4]));
  } else {
    const auto begin = std::chrono::steady_clock::now();
    const auto step = [&](void (*run)(const std::wstring&), const char* name) {
      run(root);
      std::printf("%s: done after %.1f s\n", name,
                  std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count());
    };
    step(twoQuickStarts, "two quick starts");
    step(manyAtOnce, "many at once");
    step(publishedWindow, "the published window");
    step(unansweringWindow, "a window that does not answer");
  }
  removeTree(root);
  std::printf("%s: %d failure(s)\n", failures ? "FAILED" : "passed", failures);
  return failures ? 1 : 0;
}
