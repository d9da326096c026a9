// PathHelper: the installer's hand for the machine-wide PATH, which it cannot edit itself
// without cutting a long value short.
//   PathHelper add FOLDER      append FOLDER, exactly as written, unless an entry already
//                              names it (in any spelling)
//   PathHelper remove ENTRY    take out the entry that add appended (the setup records it):
//                              one entry that reads exactly ENTRY; other spellings stay
// PATH is read as the system reads it: up to a NUL in the value (what follows is kept), and
// with %NAME% references expanded only in a REG_EXPAND_SZ value.
// One line on standard output says what happened. Exit status: 0 the value changed (and
// running programs were told), 1 nothing to change, 2 failed (the value is as it was).
#include <cstdio>

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
  if (argc != 3 || !isCommand(argv[1])) return finish(usage, 2);
  std::string error;
  const auto stored = readSystemPath(error);
  if (!stored) return finish(error.c_str(), 2);
  const Reply reply = runCommand(argv[1], argv[2], *stored, expandReferences);
  if (reply.store) {
    if (!writeSystemPath(*reply.store, error)) return finish(error.c_str(), 2);
    announceEnvironmentChange();
  }
  return finish(reply.message, reply.status);
}
