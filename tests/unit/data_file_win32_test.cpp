// What the Windows opener refuses before opening: devices and pipes, under whatever name the
// system resolves to one.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "file_operations.h"
#include "test_files.h"

namespace korvale {
namespace {

using testing::dataFile;
using testing::ScratchDir;
using testing::writeFile;

TEST(DataFileWin32, DevicesAndPipesAreRefusedUnopened) {
  // A pipe instance waiting for its client: an open of its name would connect to it.
  const std::string pipeName = R"(\\.\pipe\korvale-test-)" + std::to_string(GetCurrentProcessId());
  const HANDLE pipe = CreateNamedPipeA(pipeName.c_str(), PIPE_ACCESS_DUPLEX,
                                       PIPE_TYPE_BYTE | PIPE_NOWAIT, 1, 4096, 4096, 0, nullptr);
  ASSERT_NE(pipe, INVALID_HANDLE_VALUE);
  ScratchDir dir;
  const std::string names[] = {"NUL",
                               "NUL.xml",
                               "com1.xml",
                               "CON",
                               R"(\\.\NUL)",
                               R"(\\.\COM1)",
                               dir.path("NUL.xml"),
                               dir.path("COM1.xml"),
                               pipeName,
                               "//./pipe/" + pipeName.substr(9)};
  for (const std::string& name : names) {
    for (Operation operation : {Operation::kCheck, Operation::kSet, Operation::kReset}) {
      EXPECT_EQ(runOperation(operation, name, {}).code, kCannotOpen)
          << name << ", operation " << static_cast<int>(operation);
    }
  }
  // No client ever connected: the pipe still listens.
  EXPECT_FALSE(ConnectNamedPipe(pipe, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PIPE_LISTENING));
  CloseHandle(pipe);

  // A file named through the device namespace is still a file.
  const std::string name = dir.path("data.xml");
  writeFile(name, dataFile(600));
  EXPECT_EQ(runOperation(Operation::kCheck, R"(\\.\)" + name, {}).code, kCrcEmpty);
}

}  // namespace
}  // namespace korvale
