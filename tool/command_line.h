// Command mode: the Windows command-line split and the dispatch of one command.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace korvale {

// Splits a raw Windows command line: codes 1 to 32 separate words; a double quote opens a
// run, up to the next quote or the end, in which separators are ordinary characters; the
// quotes are dropped; there is no escape character; a word that comes out empty (an empty
// pair of quotes) is no word at all. The program name is the first word.
std::vector<std::string> splitCommandLine(std::string_view line);

// Runs the one command that `arguments` (the words after the program name, at least one)
// name and prints its report on standard output. Throws OutputError when that fails.
void runCommandLine(const std::vector<std::string>& arguments);

}  // namespace korvale
