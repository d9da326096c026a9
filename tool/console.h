// The program's platform seam for its console: arguments, standard output, standard error.
// One implementation per platform (console_win32.cpp, console_posix.cpp).
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace korvale {

// Makes standard output take bytes unchanged, and a closed pipe an error, not a signal.
void prepareConsole();

// The arguments after the program name, split as the platform's users expect.
std::vector<std::string> programArguments(int argc, char** argv);

// Writes all of `bytes` to standard output; false when that failed.
bool writeStandardOutput(std::string_view bytes);

void writeStandardError(std::string_view text);

}  // namespace korvale
