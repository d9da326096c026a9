// What the program prints: lines ending in CR LF, byte for byte as scripts expect them.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

#include "korvalelib.h"

namespace korvale {

// Standard output could not be written; the output stops at the failed line.
class OutputError : public std::runtime_error {
 public:
  OutputError() : std::runtime_error("cannot write to standard output") {}
};

// A text from one of the library's getters, received into a 256-byte buffer.
std::string libraryText(void(KORVALELIB_CALL* getter)(CountedString*));

// Writes `text` and CR LF; throws OutputError when the write fails.
void printLine(std::string_view text);

// The four-line report of the library's last operation.
void printInfo();

// The 35-line help text, with the disclaimer inside it.
void printHelp();

// The eight disclaimer lines, 74 characters each.
void printDisclaimer();

enum class ParameterError { kUnknown, kTooMany };

// The four-line report of a command line the program does not accept (A1, A2).
void printParameterError(ParameterError error);

}  // namespace korvale
