// korvale-batch: check, set or reset the CRC field of many data files at once.
#include <exception>

#include "batch.h"
#include "console.h"
#include "standard_streams.h"

int main(int argc, char** argv) {
  using namespace korvale::batch;
  korvale::secureStandardStreams();
  prepareConsole();
  const std::string program(programName());
  try {
    const Command command = parseArguments(programArguments(argc, argv), processorCount());
    switch (command.kind) {
      case Command::kHelp:
        return writeOutput(helpText(program)) ? 0 : 1;
      case Command::kVersion:
        return writeOutput(versionText(program)) ? 0 : 1;
      case Command::kUsageError:
        writeError(program + ": " + command.error + "\n" + usageText(program));
        return 2;
      case Command::kRun:
        return runBatch(command.options);
    }
  } catch (const std::exception& error) {
    writeError(program + ": " + error.what() + "\n");
  }
  return 1;
}
