// Korvale: with arguments, run one command and print its report; without, show the window.
#include <exception>
#include <string>

#include "command_line.h"
#include "console.h"
#include "standard_streams.h"
#include "window.h"

int main(int argc, char** argv) {
  using namespace korvale;
  secureStandardStreams();
  prepareConsole();
  const std::vector<std::string> arguments = programArguments(argc, argv);
  if (arguments.empty()) return runWindow();
  try {
    runCommandLine(arguments);
  } catch (const std::exception& error) {
    writeStandardError(std::string("Korvale: ") + error.what() + "\n");
    return 1;
  }
  return 0;
}
