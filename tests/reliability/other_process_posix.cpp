// POSIX: fork and exec with a pipe; flock is advisory, so writers that ignore it get in.
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "other_process.h"

namespace korvale::testing {

const bool kWritersCanOpenAHeldFile = true;

std::string runProgramBeside(const std::string& name, const std::vector<std::string>& args) {
  const std::string program =
      (std::filesystem::read_symlink("/proc/self/exe").parent_path() / name).string();
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
  std::string output;
  char buffer[4096];
  ssize_t n;
  while ((n = ::read(pipeEnds[0], buffer, sizeof buffer)) > 0) output.append(buffer, n);
  ::close(pipeEnds[0]);
  int status = 0;
  ::waitpid(child, &status, 0);
  return output;
}

}  // namespace korvale::testing
