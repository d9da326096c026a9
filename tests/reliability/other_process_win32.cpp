// Win32: CreateProcess with a pipe; a held file is opened with no sharing, so no writer gets in.
#include <windows.h>

#include <filesystem>

#include "other_process.h"

namespace korvale::testing {

const bool kWritersCanOpenAHeldFile = false;

std::string runProgramBeside(const std::string& name, const std::vector<std::string>& args) {
  char path[MAX_PATH];
  const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
  const std::string program =
      (std::filesystem::path(std::string(path, length)).parent_path() / name).string();
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
  std::string output;
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
  return output;
}

}  // namespace korvale::testing
