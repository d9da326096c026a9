// command.h: what PathHelper makes of the stored PATH, apart from the registry: its command
// line, the value as the system reads it, and the answer to each command (its line, its exit
// status, the value to store or to delete), so that each can be tested on any platform.
#ifndef KORVALE_PATH_COMMAND_H
#define KORVALE_PATH_COMMAND_H

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "path_list.h"

namespace korvale::path {

// Whose PATH: the machine-wide one (HKLM, the system environment) or the user's own (HKCU,
// Environment), which the system appends to it for that user's programs.
enum class Scope { machine, user };

struct StoredValue {
  std::wstring text;       // what the system reads: the data up to its first NUL
  std::wstring afterNul;   // that NUL and what follows it, which the system ignores: kept as is
  bool expandable = true;  // REG_EXPAND_SZ (the usual kind); REG_SZ takes %NAME% as plain text
  bool exists = true;      // false: there is no such value (a user often has none); reads empty
};

// The registry's data (the characters, with or without terminating NULs) as the system reads
// it, and the data to write back, with one terminating NUL.
StoredValue fromRegistryData(std::wstring_view data, bool expandable);
std::wstring toRegistryData(const StoredValue& value);

struct Reply {
  const char* message;               // PathHelper's one line on standard output
  int status;                        // its exit status
  std::optional<StoredValue> store;  // the value to store, when the command changes it
  bool erase = false;                // the value to delete instead (remove-created)
};

// The exit statuses.
inline constexpr int exitChanged = 0;    // the value changed (and running programs were told)
inline constexpr int exitUnchanged = 1;  // nothing to change
inline constexpr int exitFailed = 2;     // the value is as it was
inline constexpr int exitAddedAnew = 3;  // add: the value did not exist, and now holds the folder

inline constexpr const char* usage = "usage: PathHelper [--user] add|remove|remove-created FOLDER";

struct Invocation {
  Scope scope = Scope::machine;
  std::wstring_view command;
  std::wstring_view argument;
};

// The words after the program's name: an optional --user, a command and its argument.
std::optional<Invocation> parseArguments(const std::vector<std::wstring_view>& words);

bool isCommand(std::wstring_view name);

// "add" appends the folder unless an entry names it already (creating the value when there is
// none); "remove" takes out the entry that "add" appended, given as it was added;
// "remove-created" does the same for a value that "add" created, and deletes the value once
// nothing is left in it. `expandReferences` is the system's expansion, used only when the value
// is expandable.
Reply runCommand(std::wstring_view name, std::wstring_view argument, const StoredValue& stored,
                 const Expand& expandReferences);

}  // namespace korvale::path

#endif  // KORVALE_PATH_COMMAND_H
