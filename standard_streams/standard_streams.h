// What every program does before it opens anything: make sure that its standard input, output
// and error are its own. A descriptor (handle) left closed by the caller would otherwise be
// given to the next file the program opens, and text meant for the console would be written
// into a data file. standard_streams_posix.cpp and standard_streams_win32.cpp.
#pragma once

namespace korvale {

// Fills each closed standard stream with a placeholder that fails every use, as the closed one
// did: a closed output is then still a write error, reported as one, and never a file. Ends
// the program at once with status 1 when not even a placeholder can be had.
void secureStandardStreams() noexcept;

}  // namespace korvale
