// Korvale.exe as Windows sees it: its version record, its icon, and its own command-line
// split when started with a raw command line.
#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace {

std::string besideMe(const char* name) {
  char path[MAX_PATH];
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  return (std::filesystem::path(path).parent_path() / name).string();
}

TEST(ProgramFile, VersionRecord) {
  const std::string exe = besideMe("Korvale.exe");
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeA(exe.c_str(), &ignored);
  ASSERT_GT(size, 0u);
  std::string data(size, '\0');
  ASSERT_TRUE(GetFileVersionInfoA(exe.c_str(), 0, size, data.data()));

  WORD* translation = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueA(data.data(), "\\VarFileInfo\\Translation",
                             reinterpret_cast<void**>(&translation), &length));
  ASSERT_EQ(length, 4u);
  EXPECT_EQ(translation[0], 0x0407);
  EXPECT_EQ(translation[1], 1252);

  VS_FIXEDFILEINFO* fixed = nullptr;
  ASSERT_TRUE(VerQueryValueA(data.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
  EXPECT_EQ(fixed->dwFileVersionMS, 0x00010000u);
  EXPECT_EQ(fixed->dwFileVersionLS, (2011u << 16) | 11u);

  const struct {
    const char* name;
    const char* value;
  } strings[] = {{"FileVersion", "1.0.2011.11"},
                 {"ProductVersion", "1.0.0.0"},
                 {"CompanyName", "---"},
                 {"ProductName", "Korvale"},
                 {"OriginalFilename", "Korvale.exe"},
                 {"FileDescription", ""},
                 {"LegalCopyright", ""},
                 {"Comments", ""}};
  for (const auto& s : strings) {
    char* value = nullptr;
    const std::string key = std::string("\\StringFileInfo\\040704E4\\") + s.name;
    length = 0;
    VerQueryValueA(data.data(), key.c_str(), reinterpret_cast<void**>(&value), &length);
    EXPECT_EQ(std::string(value ? value : "<missing>"), s.value) << s.name;
  }
}

TEST(ProgramFile, IconIs32By32With16Colours) {
  HMODULE exe = LoadLibraryExA(besideMe("Korvale.exe").c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(exe, nullptr);
  HRSRC group = FindResourceA(exe, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(14));  // RT_GROUP_ICON
  ASSERT_NE(group, nullptr);
  HRSRC icon = FindResourceA(exe, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(3));  // RT_ICON
  ASSERT_NE(icon, nullptr);
  const auto* header = static_cast<const BITMAPINFOHEADER*>(LockResource(LoadResource(exe, icon)));
  EXPECT_EQ(header->biWidth, 32);
  EXPECT_EQ(header->biHeight, 64);  // image and mask
  EXPECT_EQ(header->biBitCount, 4);
  FreeLibrary(exe);
}

// Runs Korvale.exe with exactly `commandLine` in `folder`; gives its standard output.
std::string runRaw(std::string commandLine, const std::string& folder) {
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE readEnd, writeEnd;
  EXPECT_TRUE(CreatePipe(&readEnd, &writeEnd, &inherit, 0));
  SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = writeEnd;
  startup.hStdError = writeEnd;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  PROCESS_INFORMATION process{};
  const std::string exe = besideMe("Korvale.exe");
  EXPECT_TRUE(CreateProcessA(exe.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr,
                             folder.c_str(), &startup, &process));
  CloseHandle(writeEnd);
  std::string output;
  char buffer[4096];
  DWORD n = 0;
  while (ReadFile(readEnd, buffer, sizeof buffer, &n, nullptr) && n > 0) output.append(buffer, n);
  WaitForSingleObject(process.hProcess, 10000);
  DWORD status = 99;
  GetExitCodeProcess(process.hProcess, &status);
  EXPECT_EQ(status, 0u) << commandLine;
  CloseHandle(process.hProcess);
  CloseHandle(process.hThread);
  CloseHandle(readEnd);
  return output;
}

std::string report(const std::string& command, const std::string& result) {
  return "Korvale [1.0.20120528]\r\n" + command + "\r\nCRC32: 0x00000000\r\n" + result + "\r\n";
}

TEST(ProgramFile, RawCommandLinesAreSplitByTheProgramsOwnRule) {
  const std::filesystem::path folder = std::filesystem::temp_directory_path() /
                                       ("korvale-raw-" + std::to_string(GetCurrentProcessId()));
  std::filesystem::create_directories(folder);
  std::ofstream(folder / "d.xml", std::ios::binary) << std::string(300, 'x');
  const std::string empty = "ERROR: [11] Missing CRC32-Identifier within the first 252 Bytes.";
  const std::string cannotOpen = "ERROE: [21] Could not open file exclusive for ReadWrite.";
  const struct {
    const char* line;
    std::string output;
  } cases[] = {
      // A C runtime would pass the empty quotes on as a third word: "to many parameter".
      {"Korvale.exe check \"\" d.xml", report("CHECK ...d.xml", empty)},
      // A C runtime would read \" as a quote inside the word.
      {"Korvale.exe CHECK \"sub dir\\\"", report("CHECK ...sub dir\\", cannotOpen)},
      {"\"Korvale.exe\" \"RESET\"\t\"d.xml\"", report("RESET ...d.xml", empty)},
      {"Korvale.exe fo\"o\" d.xml", report("...", "ERROR: [A1] unknown parameter.")},
  };
  for (const auto& c : cases) EXPECT_EQ(runRaw(c.line, folder.string()), c.output) << c.line;
  std::filesystem::remove_all(folder);
}

}  // namespace
