// The results window (window_win32.cpp).
#pragma once

#include <string>
#include <vector>

namespace korvale::desk {

// Opens the window with the list of `paths` being checked, and runs it until it closes; gives
// the program's exit status.
int runWindow(std::vector<std::string> paths, int show);

}  // namespace korvale::desk
