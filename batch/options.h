// The command line of korvale-batch: what it asks for, the usage and help texts.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "file_operations.h"

namespace korvale::batch {

inline constexpr unsigned kMaxJobs = 1024;

struct Options {
  Operation operation = Operation::kCheck;
  std::vector<std::string> paths;        // in the order given
  std::optional<std::string> filesFrom;  // "-": standard input
  bool nulSeparated = false;             // --files-from entries end with NUL, not a line feed
  bool json = false;
  bool quiet = false;
  unsigned jobs = 1;
};

struct Command {
  enum Kind { kRun, kHelp, kVersion, kUsageError } kind = kRun;
  Options options;    // for kRun
  std::string error;  // for kUsageError: one line, without its line feed
};

// Reads the arguments after the program name. Options may come anywhere before "--"; the first
// operand names the operation (any case), the others are paths. `defaultJobs` stands when no
// -j is given.
Command parseArguments(const std::vector<std::string>& arguments, unsigned defaultJobs);

// "Usage: PROGRAM ..." and a pointer to --help: what follows a usage error.
std::string usageText(std::string_view program);
std::string helpText(std::string_view program);
std::string versionText(std::string_view program);

}  // namespace korvale::batch
