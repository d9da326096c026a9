// Command mode: which command the words name, and the library call behind it.
#include "command_line.h"

#include <algorithm>

#include "korvalelib.h"
#include "report.h"

namespace korvale {
namespace {

using Operation = int32_t(KORVALELIB_CALL*)(const CountedString*, const ProgressSink*);

std::string upperCaseAscii(std::string word) {
  for (char& c : word) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return word;
}

void runOperation(Operation operation, const std::vector<std::string>& arguments) {
  const std::string_view name =
      arguments.size() > 1 ? std::string_view(arguments[1]).substr(0, 255) : std::string_view();
  CountedString fileName;
  fileName.length = static_cast<unsigned char>(name.size());
  std::copy(name.begin(), name.end(), fileName.text);
  operation(&fileName, nullptr);  // the report reads the outcome back from the library
  printInfo();
}

}  // namespace

std::vector<std::string> splitCommandLine(std::string_view line) {
  std::vector<std::string> words;
  std::string word;
  bool quoted = false;
  for (char c : line) {
    if (c == '\0') break;
    if (c == '"') {
      quoted = !quoted;
    } else if (!quoted && static_cast<unsigned char>(c) <= ' ') {
      if (!word.empty()) words.push_back(std::move(word));
      word.clear();
    } else {
      word += c;
    }
  }
  if (!word.empty()) words.push_back(std::move(word));
  return words;
}

void runCommandLine(const std::vector<std::string>& arguments) {
  const std::string word = upperCaseAscii(arguments.at(0));
  if (word == "?" || word == "/?" || word == "HELP" || word == "/HELP") {
    printHelp();
  } else if (arguments.size() > 2) {
    printParameterError(ParameterError::kTooMany);
  } else if (word == "CHECK") {
    runOperation(DUDO66413_checkCRC32inFile, arguments);
  } else if (word == "SET") {
    runOperation(DUDO66413_setCRC32inFile, arguments);
  } else if (word == "RESET") {
    runOperation(DUDO66413_resetCRC32inFile, arguments);
  } else {
    printParameterError(ParameterError::kUnknown);
  }
}

}  // namespace korvale
