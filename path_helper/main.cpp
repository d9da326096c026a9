// PathHelper: the installer's hand for PATH, which it cannot edit itself without cutting a long
// value short.
//   PathHelper [--user] add FOLDER       append FOLDER, exactly as written, unless an entry
//                                        already names it (in any spelling); makes the value
//                                        when there is none
//   PathHelper [--user] remove ENTRY     take out the entry that add appended (the setup
//                                        records it): one entry that reads exactly ENTRY; other
//                                        spellings stay
//   PathHelper [--user] remove-created ENTRY
//                                        the same, for a value that add made: the value goes
//                                        too once nothing is left in it
// Without --user the machine-wide PATH (HKLM, the system environment); with it the user's own
// (HKCU\Environment). PATH is read as the system reads it: up to a NUL in the value (what
// follows is kept), and with %NAME% references expanded only in a REG_EXPAND_SZ value.
// One line on standard output says what happened. Exit status: 0 the value changed (and
// running programs were told), 1 nothing to change, 2 failed (the value is as it was), 3 added
// in a value that did not exist before (and running programs were told).
#include <cstdio>
#include <string_view>
#include <vector>

#include "command.h"
#include "standard_streams.h"
#include "system_path.h"

namespace {

int finish(const char* message, int status) {
  std::puts(message);
  return status;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  korvale::secureStandardStreams();
  using namespace korvale::path;
  const std::vector<std::wstring_view> words(argv + 1, argv + argc);
  const auto invocation = parseArguments(words);
  if (!invocation) return finish(usage, exitFailed);
  std::string error;
  const auto stored = readStoredPath(invocation->scope, error);
  if (!stored) return finish(error.c_str(), exitFailed);
  const Reply reply =
      runCommand(invocation->command, invocation->argument, *stored, expandReferences);
  if (reply.erase) {
    if (!eraseStoredPath(invocation->scope, error)) return finish(error.c_str(), exitFailed);
    announceEnvironmentChange();
  } else if (reply.store) {
    if (!writeStoredPath(invocation->scope, *reply.store, error)) {
      return finish(error.c_str(), exitFailed);
    }
    announceEnvironmentChange();
  }
  return finish(reply.message, reply.status);
}
