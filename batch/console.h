// The program's platform seam for everything but files: its name, its arguments, standard
// output and error, terminals, processors, and the --files-from source. console_posix.cpp and
// console_win32.cpp.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "output.h"

namespace korvale::batch {

std::string_view programName();

// How the platform's paths are held (for the JSON escapes).
PathForm pathForm();

// Makes a closed pipe an error to write to, not a signal.
void prepareConsole();

// From here on an interrupt (SIGINT, SIGTERM or SIGHUP; on Windows Ctrl+C, Ctrl+Break or the
// console window closed) is noted instead of ending the program, so that the run can finish
// the files in hand and report them. A second one ends the program at once.
void catchInterrupts();
// 0 while no interrupt came; else the exit status that reports it.
int interruptStatus();
// The interrupt, as a user would name it ("SIGINT", "Ctrl+C").
std::string_view interruptName();

// The arguments after the program name, as the program holds paths.
std::vector<std::string> programArguments(int argc, char** argv);

// Writes all of `bytes`; false when that failed.
bool writeOutput(std::string_view bytes);
void writeError(std::string_view text);

bool outputIsTerminal();
bool errorIsTerminal();

// The processors this process may run on.
unsigned processorCount();

class ByteSource {
 public:
  virtual ~ByteSource() = default;
  // Bytes read into `buffer`: 0 at the end, -1 on an error. An interrupt ends a wait for
  // bytes as the end would.
  virtual int64_t read(std::span<char> buffer) = 0;
};

// A list file, or standard input for "-"; null, with `error` set, when it cannot be opened.
std::unique_ptr<ByteSource> openList(const std::string& name, std::string& error);

// The longest path, in the bytes the program holds it in, that the system could open: a list
// entry beyond it is cut and gives code 21.
std::size_t longestPath();

// Whether a list's lines may end with CR LF, the CR then being no part of the path.
bool listLinesMayEndWithCarriageReturn();

// A list entry as the program holds paths.
std::string pathFromListEntry(std::string entry);

}  // namespace korvale::batch
