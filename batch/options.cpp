// Argument parsing in the manner of getopt_long: clustered short options (-q0), values
// attached or separate (-j4, -j 4, --jobs=4, --jobs 4), and "--" ending the options.
#include "options.h"

#include <algorithm>
#include <charconv>

#include "version.h"

namespace korvale::batch {
namespace {

std::string lowered(std::string_view text) {
  std::string out(text);
  std::transform(out.begin(), out.end(), out.begin(), [](unsigned char c) {
    return static_cast<char>(c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c);
  });
  return out;
}

std::optional<Operation> operationNamed(std::string_view word) {
  const std::string name = lowered(word);
  if (name == "check") return Operation::kCheck;
  if (name == "set") return Operation::kSet;
  if (name == "reset") return Operation::kReset;
  return std::nullopt;
}

std::optional<unsigned> jobCount(std::string_view text) {
  unsigned value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc{} || end != text.data() + text.size() || value < 1 || value > kMaxJobs) {
    return std::nullopt;
  }
  return value;
}

class Parser {
 public:
  Parser(const std::vector<std::string>& arguments, unsigned defaultJobs) : arguments_(arguments) {
    command_.options.jobs = defaultJobs;
  }

  Command parse() {
    std::vector<std::string_view> operands;
    bool optionsEnded = false;
    for (at_ = 0; at_ < arguments_.size() && !done(); ++at_) {
      const std::string_view word = arguments_[at_];
      if (optionsEnded || word.size() < 2 || word[0] != '-') {
        operands.push_back(word);
      } else if (word == "--") {
        optionsEnded = true;
      } else if (word.starts_with("--")) {
        longOption(word.substr(2));
      } else {
        shortOptions(word.substr(1));
      }
    }
    if (done()) return command_;

    Options& options = command_.options;
    if (operands.empty()) return fail("no operation given (check, set or reset)");
    const std::optional<Operation> operation = operationNamed(operands.front());
    if (!operation) return fail("unknown operation '" + std::string(operands.front()) + "'");
    options.operation = *operation;
    options.paths.assign(operands.begin() + 1, operands.end());
    if (options.paths.empty() && !options.filesFrom) return fail("no PATH given");
    if (options.nulSeparated && !options.filesFrom) return fail("-0 needs --files-from");
    return command_;
  }

 private:
  bool done() const { return command_.kind != Command::kRun; }

  Command fail(std::string message) {
    command_.kind = Command::kUsageError;
    command_.error = std::move(message);
    return command_;
  }

  // The value of option `name`: `attached` when there is one, else the next argument.
  std::optional<std::string_view> value(std::string_view name,
                                        std::optional<std::string_view> attached) {
    if (attached) return attached;
    if (at_ + 1 < arguments_.size()) return arguments_[++at_];
    fail("option " + std::string(name) + " needs a value");
    return std::nullopt;
  }

  void jobs(std::string_view name, std::optional<std::string_view> attached) {
    const std::optional<std::string_view> text = value(name, attached);
    if (!text) return;
    if (const std::optional<unsigned> count = jobCount(*text)) {
      command_.options.jobs = *count;
    } else {
      fail("option " + std::string(name) + " takes a number from 1 to " + std::to_string(kMaxJobs) +
           ", not '" + std::string(*text) + "'");
    }
  }

  void longOption(std::string_view body) {
    Options& options = command_.options;
    std::optional<std::string_view> attached;
    if (const std::size_t equals = body.find('='); equals != std::string_view::npos) {
      attached = body.substr(equals + 1);
      body = body.substr(0, equals);
    }
    const std::string name = "--" + std::string(body);
    const bool takesValue = body == "jobs" || body == "files-from";
    if (attached && !takesValue) {
      fail("option " + name + " takes no value");
    } else if (body == "help") {
      command_.kind = Command::kHelp;
    } else if (body == "version") {
      command_.kind = Command::kVersion;
    } else if (body == "json") {
      options.json = true;
    } else if (body == "quiet") {
      options.quiet = true;
    } else if (body == "null") {
      options.nulSeparated = true;
    } else if (body == "jobs") {
      jobs(name, attached);
    } else if (body == "files-from") {
      if (options.filesFrom) {
        fail("--files-from may be given once");
      } else if (const std::optional<std::string_view> file = value(name, attached)) {
        options.filesFrom = std::string(*file);
      }
    } else {
      fail("unknown option '" + name + "'");
    }
  }

  void shortOptions(std::string_view cluster) {
    for (std::size_t i = 0; i < cluster.size() && !done(); ++i) {
      switch (cluster[i]) {
        case 'h':
          command_.kind = Command::kHelp;
          break;
        case 'q':
          command_.options.quiet = true;
          break;
        case '0':
          command_.options.nulSeparated = true;
          break;
        case 'j': {
          const std::string_view rest = cluster.substr(i + 1);
          jobs("-j", rest.empty() ? std::nullopt : std::optional(rest));
          return;
        }
        default:
          fail("unknown option '-" + std::string(1, cluster[i]) + "'");
      }
    }
  }

  const std::vector<std::string>& arguments_;
  std::size_t at_ = 0;
  Command command_;
};

}  // namespace

Command parseArguments(const std::vector<std::string>& arguments, unsigned defaultJobs) {
  return Parser(arguments, defaultJobs).parse();
}

std::string usageText(std::string_view program) {
  const std::string name(program);
  return "Usage: " + name + " [OPTIONS] check|set|reset PATH...\n" + "Try '" + name +
         " --help' for more information.\n";
}

std::string helpText(std::string_view program) {
  const std::string name(program);
  return "Usage: " + name + " [OPTIONS] check|set|reset PATH...\n" +
         R"(Check, set or reset the CRC-32 field of many XML data files, several at a time.

  check   verify each file's stored CRC
  set     compute each file's CRC and write it into its field
  reset   put each file's field back to 0x00000000

A PATH that is a folder is walked: its files named *.xml (any case) and those of
its folders, in byte order of their names; links to folders are not followed.
A file named as a PATH is taken whatever its name.

Options:
  -j, --jobs N         work on N files at a time (default: one per processor)
      --files-from F   read more PATHs from file F ('-': standard input),
                       one per line
  -0, --null           the entries of F end with a NUL, not a line feed
      --json           print a JSON object per file instead of a text line
  -q, --quiet          print only the files whose code is not 0
  -h, --help           show this help and exit
      --version        show the version and exit

One line per file on standard output, in input order: the code (two digits),
the CRC text, the path and the message, separated by tabs. A summary follows
on standard error. Exit status: 0 when every file gave code 0, 1 when any
gave another, 2 for a usage error. An interrupt stops the taking of files: those
in hand are finished and reported, then the summary; the status is then 128 +
the signal (on Windows 0xC000013A, as for Ctrl+C).
)";
}

std::string versionText(std::string_view program) {
  return std::string(program) + " (" KORVALE_FULL_NAME ") " KORVALE_VERSION "\n";
}

}  // namespace korvale::batch
