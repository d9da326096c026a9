// What the concurrency tests need of the platform: another process, and the kind of file lock.
// One implementation per platform (other_process_posix.cpp, other_process_win32.cpp).
#pragma once

#include <string>
#include <vector>

namespace korvale::testing {

// Runs the program `name`, found beside the test program, with `args` as a separate process
// and gives its standard output.
std::string runProgramBeside(const std::string& name, const std::vector<std::string>& args);

// Whether another writer can still open a file that an operation holds (an advisory lock).
extern const bool kWritersCanOpenAHeldFile;

}  // namespace korvale::testing
