// The results window (window_win32.cpp).
#pragma once

#include "handoff.h"
#include "instance_win32.h"

namespace korvale::desk {

// Opens the window with `first` (the program's own request) and runs it until it closes; gives
// the program's exit status. `instance` is published as the window that takes later starts'
// requests once the window exists, and withdrawn when it closes.
int runWindow(Request first, int show, SingleInstance& instance);

}  // namespace korvale::desk
