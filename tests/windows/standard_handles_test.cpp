// Standard handles that name nothing: the value a caller closed must never reach a data file
// that the program opens later (the system hands freed values out again).
#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "standard_streams.h"

namespace {

namespace fs = std::filesystem;

std::string contentOf(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

class StandardHandles : public testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(folder_);
    std::ofstream(data_, std::ios::binary) << std::string(300, 'x');
  }
  void TearDown() override {
    SetStdHandle(STD_OUTPUT_HANDLE, saved_);
    fs::remove_all(folder_);
  }

  // A handle value that named a file and no longer does.
  HANDLE staleHandle() {
    const HANDLE handle = CreateFileW((folder_ / "other").c_str(), GENERIC_WRITE, 0, nullptr,
                                      CREATE_ALWAYS, 0, nullptr);
    CloseHandle(handle);
    return handle;
  }

  const fs::path folder_ =
      fs::temp_directory_path() / ("korvale-handles-" + std::to_string(GetCurrentProcessId()));
  const fs::path data_ = folder_ / "data.xml";
  const HANDLE saved_ = GetStdHandle(STD_OUTPUT_HANDLE);
};

TEST_F(StandardHandles, AStaleOutputIsNeverAFileOpenedLater) {
  SetStdHandle(STD_OUTPUT_HANDLE, staleHandle());
  korvale::secureStandardStreams();
  const HANDLE data = CreateFileW(data_.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                  OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(data, INVALID_HANDLE_VALUE);
  EXPECT_NE(GetStdHandle(STD_OUTPUT_HANDLE), data);
  DWORD written = 0;
  EXPECT_FALSE(WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), "lines\n", 6, &written, nullptr));
  CloseHandle(data);
  EXPECT_EQ(contentOf(data_), std::string(300, 'x'));
}

// Handles that name something, and those no file can ever get, stay as they are.
TEST_F(StandardHandles, OthersStayAsTheyAre) {
  const HANDLE file =
      CreateFileW(data_.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  for (const HANDLE handle : {file, static_cast<HANDLE>(nullptr), INVALID_HANDLE_VALUE}) {
    SetStdHandle(STD_OUTPUT_HANDLE, handle);
    korvale::secureStandardStreams();
    EXPECT_EQ(GetStdHandle(STD_OUTPUT_HANDLE), handle);
  }
  CloseHandle(file);
}

// Every program started with output handles that name nothing: the first handle it opens may
// get the value, and its text must not go there. A write error is status 1 where the program
// reports one; the data file gets its digits and nothing else. PathHelper opens no data file,
// but its registry key may get the value, and its status is its own (1: nothing to remove).
TEST_F(StandardHandles, ProgramsWithAStaleOutputWriteNothingElsewhere) {
  const std::string head =
      "<?xml version=\"1.0\" encoding=\"windows-1252\"?>\n<Library crc32=\"0x00000000\" x=\"";
  const std::size_t digits = head.find("0x") + 2;
  wchar_t self[MAX_PATH];
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  const fs::path bin = fs::path(self).parent_path();
  const struct {
    const wchar_t* program;
    std::wstring commandLine;
    DWORD status;
    bool stamps;
  } runs[] = {
      {L"KorvaleBatch.exe", L"KorvaleBatch.exe -j1 set data.xml", 1, true},
      {L"Korvale.exe", L"Korvale.exe SET data.xml", 1, true},
      {L"PathHelper.exe", L"PathHelper.exe --user remove C:\\korvale-never-on-path", 1, false},
  };
  for (auto run : runs) {
    SCOPED_TRACE(testing::Message() << fs::path(run.program).string());
    std::ofstream(data_, std::ios::binary | std::ios::trunc)
        << head << std::string(300 - head.size(), 'y');
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = staleHandle();
    startup.hStdError = staleHandle();
    PROCESS_INFORMATION process{};
    ASSERT_TRUE(CreateProcessW((bin / run.program).c_str(), run.commandLine.data(), nullptr,
                               nullptr, TRUE, 0, nullptr, folder_.c_str(), &startup, &process));
    WaitForSingleObject(process.hProcess, 60000);
    DWORD status = 99;
    GetExitCodeProcess(process.hProcess, &status);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    EXPECT_EQ(status, run.status);
    const std::string after = contentOf(data_);
    ASSERT_EQ(after.size(), 300u);
    EXPECT_EQ(after.substr(0, digits), head.substr(0, digits));
    EXPECT_EQ(after.substr(digits, 8) != "00000000", run.stamps);
    EXPECT_EQ(after.substr(digits + 8),
              head.substr(digits + 8) + std::string(300 - head.size(), 'y'));
  }
}

}  // namespace
