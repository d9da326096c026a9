// Window mode: what the program does when started without arguments.
#pragma once

namespace korvale {

// Shows the window and runs until it is closed; gives the exit status.
int runWindow();

}  // namespace korvale
