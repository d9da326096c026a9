// Others at the file while an operation holds it: a second program run is refused with 21, and
// a writer that ignores the lock cannot make an operation report OK for content the file no
// longer holds. Each interference is started from the operation's progress sink, so it falls
// inside the pass every time, with no timing involved.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "file_operations.h"
#include "test_files.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace korvale {
namespace {

using testing::dataFile;
using testing::readFile;
using testing::ScratchDir;
using testing::writeFile;

constexpr std::size_t kDigitsAt = 69;  // dataFile() puts the field at 60

// Runs `action` at the sink's first position read, once the pass has begun.
struct DuringThePass {
  std::function<void()> action;
  ProgressSink sink{this, [](void*, int32_t) {}, [](void*, int32_t) {},
                    [](void* c) -> int32_t {
                      auto& self = *static_cast<DuringThePass*>(c);
                      if (self.action) std::exchange(self.action, nullptr)();
                      return 0;
                    },
                    [](void*, int32_t) {}};
};

std::string programBeside(const std::string& name) {
#ifdef _WIN32
  char path[MAX_PATH];
  const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
  return (std::filesystem::path(std::string(path, length)).parent_path() / name).string();
#else
  return (std::filesystem::read_symlink("/proc/self/exe").parent_path() / name).string();
#endif
}

// Runs the program with `args` as a separate process; its standard output.
std::string runProgram(const std::vector<std::string>& args) {
  const std::string program = programBeside(KORVALE_PROGRAM);
  std::string output;
#ifdef _WIN32
  std::string commandLine = '"' + program + '"';
  for (const std::string& arg : args) commandLine += " \"" + arg + '"';
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE readEnd, writeEnd;
  if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) return "no pipe";
  SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = writeEnd;
  startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  PROCESS_INFORMATION process{};
  const bool started = CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0,
                                      nullptr, nullptr, &startup, &process);
  CloseHandle(writeEnd);
  char buffer[4096];
  DWORD n;
  while (started && ReadFile(readEnd, buffer, sizeof buffer, &n, nullptr) && n > 0) {
    output.append(buffer, n);
  }
  CloseHandle(readEnd);
  if (!started) return "cannot start " + program;
  WaitForSingleObject(process.hProcess, INFINITE);
  CloseHandle(process.hProcess);
  CloseHandle(process.hThread);
#else
  int pipeEnds[2];
  if (::pipe(pipeEnds) != 0) return "no pipe";
  const pid_t child = ::fork();
  if (child == 0) {
    ::dup2(pipeEnds[1], STDOUT_FILENO);
    ::close(pipeEnds[0]);
    ::close(pipeEnds[1]);
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    ::execv(program.c_str(), argv.data());
    ::_exit(127);
  }
  ::close(pipeEnds[1]);
  char buffer[4096];
  ssize_t n;
  while ((n = ::read(pipeEnds[0], buffer, sizeof buffer)) > 0) output.append(buffer, n);
  ::close(pipeEnds[0]);
  int status = 0;
  ::waitpid(child, &status, 0);
#endif
  return output;
}

std::string stamped(const std::string& plain) {
  OperationInfo info;
  ScratchDir dir;
  const std::string name = dir.path("reference.xml");
  writeFile(name, plain);
  setCRC32inFile(info, name, nullptr);
  return readFile(name);
}

TEST(Concurrency, AProgramRunWhileSetHoldsTheFileIsRefused) {
  ScratchDir dir;
  const std::string name = dir.path("shared.xml");
  writeFile(name, dataFile(600));
  std::vector<std::string> reports;
  DuringThePass interfere{[&] {
    for (const char* word : {"CHECK", "SET", "RESET"}) reports.push_back(runProgram({word, name}));
  }};
  OperationInfo info;
  EXPECT_EQ(setCRC32inFile(info, name, &interfere.sink), kOk);
  ASSERT_EQ(reports.size(), 3u);
  for (const std::string& report : reports) {
    EXPECT_NE(report.find("\r\nERROE: [21] "), std::string::npos) << report;
  }
  EXPECT_EQ(readFile(name), stamped(dataFile(600)));
  const std::string after = runProgram({"CHECK", name});
  EXPECT_NE(after.find("CRC32: " + info.crcText + "\r\nOK\r\n"), std::string::npos) << after;
}

// Natively the lock is advisory and the writer gets in: the change must be noticed. On Windows
// the file is opened with no sharing, so the writer cannot open it at all.
TEST(Concurrency, AWriterIgnoringTheLockCannotGetAWrongCrcAccepted) {
  const std::string plain = dataFile(8 << 20);
  const std::string good = stamped(plain);
  const std::string tail = "<Value unit=\"bar\">351</Value>\n";
  ScratchDir dir;
  const std::string name = dir.path("appended.xml");
  for (bool set : {true, false}) {
    const std::string before = set ? plain : good;
    writeFile(name, before);
    bool appended = false;
    DuringThePass interfere{[&] {
      std::thread writer([&] {
        std::ofstream out(name, std::ios::binary | std::ios::app);
        out << tail;
        out.close();
        appended = !out.fail();
      });
      writer.join();
    }};
    OperationInfo info;
    const int32_t code = set ? setCRC32inFile(info, name, &interfere.sink)
                             : checkCRC32inFile(info, name, &interfere.sink);
    const std::string after = readFile(name);
    if (appended) {
      EXPECT_EQ(code, kCannotOpen) << set;
      EXPECT_EQ(info.crcText, "0x00000000") << set;
      EXPECT_TRUE(after == before + tail) << set << ": the file was written";
    } else {
      EXPECT_EQ(code, kOk) << set;
      EXPECT_TRUE(after == good) << set << ": digits " << after.substr(kDigitsAt, 8);
    }
#ifdef _WIN32
    EXPECT_FALSE(appended) << "no sharing";
#else
    EXPECT_TRUE(appended) << "an advisory lock";
#endif
  }
}

}  // namespace
}  // namespace korvale
