// PathHelper: the installer's hand for the machine-wide PATH, which it cannot edit itself
// without cutting a long value short.
//   PathHelper add FOLDER      append FOLDER unless an entry already names it
//   PathHelper remove FOLDER   take out every entry that names FOLDER
// One line on standard output says what happened. Exit status: 0 the value changed (and
// running programs were told), 1 nothing to change, 2 failed (the value is as it was).
#include <cstdio>
#include <string>
#include <string_view>

#include "path_list.h"
#include "standard_streams.h"
#include "system_path.h"

namespace {

int finish(const char* message, int status) {
  std::puts(message);
  return status;
}

int run(std::wstring_view command, std::wstring_view folder) {
  using namespace korvale::path;
  const bool adding = command == L"add";
  if (!adding && command != L"remove") return finish("usage: PathHelper add|remove FOLDER", 2);
  std::string error;
  auto stored = readSystemPath(error);
  if (!stored) return finish(error.c_str(), 2);
  const Edit edit = adding ? addFolder(stored->text, folder, expandReferences)
                           : removeFolder(stored->text, folder, expandReferences);
  switch (edit.outcome) {
    case Outcome::unchanged:
      return finish(adding ? "already on PATH" : "not on PATH", 1);
    case Outcome::tooLong:
      return finish("PATH would grow beyond 32766 characters", 2);
    case Outcome::badFolder:
      return finish("the folder cannot go on PATH (not absolute, or holds ; or \")", 2);
    case Outcome::changed:
      break;
  }
  stored->text = edit.value;
  if (!writeSystemPath(*stored, error)) return finish(error.c_str(), 2);
  announceEnvironmentChange();
  return finish(adding ? "added to PATH" : "removed from PATH", 0);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  korvale::secureStandardStreams();
  if (argc != 3) return finish("usage: PathHelper add|remove FOLDER", 2);
  return run(argv[1], argv[2]);
}
