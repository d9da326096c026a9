// command.h: what PathHelper makes of the stored PATH, apart from the registry: the value as
// the system reads it, and the answer to each command (its line, its exit status, the value
// to store), so that each can be tested on any platform.
#ifndef KORVALE_PATH_COMMAND_H
#define KORVALE_PATH_COMMAND_H

#include <optional>
#include <string>
#include <string_view>

#include "path_list.h"

namespace korvale::path {

struct StoredValue {
  std::wstring text;       // what the system reads: the data up to its first NUL
  std::wstring afterNul;   // that NUL and what follows it, which the system ignores: kept as is
  bool expandable = true;  // REG_EXPAND_SZ (the usual kind); REG_SZ takes %NAME% as plain text
};

// The registry's data (the characters, with or without terminating NULs) as the system reads
// it, and the data to write back, with one terminating NUL.
StoredValue fromRegistryData(std::wstring_view data, bool expandable);
std::wstring toRegistryData(const StoredValue& value);

struct Reply {
  const char* message;               // PathHelper's one line on standard output
  int status;                        // its exit status
  std::optional<StoredValue> store;  // the value to store, when the command changes it
};

inline constexpr const char* usage = "usage: PathHelper add|remove FOLDER";

bool isCommand(std::wstring_view name);

// "add" appends the folder unless an entry names it already; "remove" takes out the entry that
// "add" appended, given as it was added. `expandReferences` is the system's expansion, used
// only when the value is expandable.
Reply runCommand(std::wstring_view name, std::wstring_view argument, const StoredValue& stored,
                 const Expand& expandReferences);

}  // namespace korvale::path

#endif  // KORVALE_PATH_COMMAND_H
