// KorvaleBatch.exe stopped by a console control event while it stamps a folder: the files in
// hand finish, each file worked on gets its line, the summary follows, and the status is the
// one for a Ctrl+C stop.
#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>

namespace {

namespace fs = std::filesystem;

constexpr DWORD kInterruptedStatus = 0xC000013A;
constexpr int kFiles = 4000;

const std::string kHead =
    "<?xml version=\"1.0\" encoding=\"windows-1252\"?>\n<Library crc32=\"0x00000000\" x=\"";
const std::size_t kDigits = kHead.find("0x") + 2;

std::string contentOf(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

// Reads a pipe to its end on a thread of its own; `waitForLine` waits (bounded) for a first line.
class PipeReader {
 public:
  explicit PipeReader(HANDLE pipe)
      : thread_([this, pipe] {
          char buffer[4096];
          DWORD done = 0;
          while (ReadFile(pipe, buffer, sizeof buffer, &done, nullptr) && done > 0) {
            const std::lock_guard lock(mutex_);
            text_.append(buffer, done);
            changed_.notify_all();
          }
          CloseHandle(pipe);
          const std::lock_guard lock(mutex_);
          ended_ = true;
          changed_.notify_all();
        }) {}
  ~PipeReader() {
    if (thread_.joinable()) thread_.join();
  }
  PipeReader(const PipeReader&) = delete;
  PipeReader& operator=(const PipeReader&) = delete;

  bool waitForLine() {
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, std::chrono::seconds(120),
                      [this] { return ended_ || text_.find('\n') != std::string::npos; });
    return text_.find('\n') != std::string::npos;
  }

  std::string all() {
    thread_.join();
    return text_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::string text_;
  bool ended_ = false;
  std::thread thread_;
};

BOOL WINAPI ignoreEvent(DWORD) { return TRUE; }

class Interrupts : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    // A console of our own: an event for the whole console then reaches this test and the
    // program it started, and nothing of the caller's.
    FreeConsole();
    AllocConsole();
    ShowWindow(GetConsoleWindow(), SW_HIDE);
    SetConsoleCtrlHandler(ignoreEvent, TRUE);
  }

  void SetUp() override {
    fs::create_directories(folder_);
    // Half the fields empty, half holding other digits: `set` changes every file it works on.
    for (int i = 0; i < kFiles; ++i) {
      std::string content = kHead + std::string(300 - kHead.size(), 'y');
      if (i % 2) content.replace(kDigits, 8, "12345678");
      std::ofstream(folder_ / name(i), std::ios::binary) << content;
      before_[name(i)] = content;
    }
  }
  void TearDown() override { fs::remove_all(folder_); }

  static std::string name(int i) {
    std::ostringstream out;
    out << 'f' << i << ".xml";
    return out.str();
  }

  // Runs `KorvaleBatch -j2 set .` and sends it `event` once its first line is out: to its own
  // process group, or to the whole console. False when the system refuses to send the event.
  bool interrupt(DWORD event, bool ownGroup) {
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    const fs::path batch = fs::path(self).parent_path() / "KorvaleBatch.exe";
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE outRead, outWrite, errRead, errWrite;
    CreatePipe(&outRead, &outWrite, &inherit, 0);
    CreatePipe(&errRead, &errWrite, &inherit, 0);
    SetHandleInformation(outRead, HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(errRead, HANDLE_FLAG_INHERIT, 0);
    std::wstring commandLine = L"KorvaleBatch.exe -j2 set .";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = outWrite;
    startup.hStdError = errWrite;
    PROCESS_INFORMATION process{};
    const BOOL started = CreateProcessW(batch.c_str(), commandLine.data(), nullptr, nullptr, TRUE,
                                        ownGroup ? CREATE_NEW_PROCESS_GROUP : 0, nullptr,
                                        folder_.c_str(), &startup, &process);
    CloseHandle(outWrite);
    CloseHandle(errWrite);
    if (!started) {
      CloseHandle(outRead);
      CloseHandle(errRead);
      ADD_FAILURE() << "cannot start " << batch << ": error " << GetLastError();
      return true;
    }
    PipeReader out(outRead), err(errRead);
    EXPECT_TRUE(out.waitForLine()) << "no result line";
    const bool sent = GenerateConsoleCtrlEvent(event, ownGroup ? process.dwProcessId : 0);
    if (!sent) {
      refusal_ = GetLastError();
      TerminateProcess(process.hProcess, 99);
    }
    WaitForSingleObject(process.hProcess, 120000);
    GetExitCodeProcess(process.hProcess, &status_);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    output_ = out.all();
    errors_ = err.all();
    return sent;
  }

  // Every file is as it was or has the digits its line gave, and the lines name exactly the
  // files changed; the summary counts them after the line that names the event.
  void expectStoppedBy(const std::string& event) {
    EXPECT_EQ(status_, kInterruptedStatus);
    std::map<std::string, std::string> lines;  // name -> digits
    std::istringstream in(output_);
    for (std::string line; std::getline(in, line);) {
      const std::size_t tab = line.find('\t'), path = line.find('\t', tab + 1);
      ASSERT_EQ(line.substr(0, 5), "00\t0x") << line;
      const std::size_t end = line.find('\t', path + 1);
      const std::string walked = line.substr(path + 1, end - path - 1);
      lines[walked.substr(walked.find_last_of("\\/") + 1)] = line.substr(5, 8);
    }
    int changed = 0;
    for (const auto& [file, content] : before_) {
      const std::string after = contentOf(folder_ / file);
      if (after == content) continue;
      ++changed;
      const auto line = lines.find(file);
      ASSERT_NE(line, lines.end()) << file << " changed without a line";
      EXPECT_EQ(after, std::string(content).replace(kDigits, 8, line->second))
          << file << ": more than its digits, or other digits than its line";
    }
    EXPECT_EQ(static_cast<int>(lines.size()), changed);
    EXPECT_GT(changed, 0);
    EXPECT_LT(changed, kFiles) << "the run ended before the event";
    EXPECT_NE(errors_.find("stopped by " + event + ":"), std::string::npos) << errors_;
    EXPECT_NE(errors_.find("set of " + std::to_string(changed) + " file"), std::string::npos)
        << errors_;
  }

  const fs::path folder_ =
      fs::temp_directory_path() / ("korvale-interrupt-" + std::to_string(GetCurrentProcessId()));
  std::map<std::string, std::string> before_;
  DWORD status_ = 0, refusal_ = 0;
  std::string output_, errors_;
};

TEST_F(Interrupts, CtrlCToTheConsole) {
  ASSERT_TRUE(interrupt(CTRL_C_EVENT, false));
  expectStoppedBy("Ctrl+C");
}

// A process group of its own, as a caller that stops one program of several does; a new group
// ignores Ctrl+C, so Ctrl+Break is the event to send it.
TEST_F(Interrupts, CtrlBreakToItsProcessGroup) {
  if (!interrupt(CTRL_BREAK_EVENT, true)) {
    GTEST_SKIP() << "the system does not send Ctrl+Break (error " << refusal_ << "; Wine does not)";
  }
  expectStoppedBy("Ctrl+Break");
}

}  // namespace
