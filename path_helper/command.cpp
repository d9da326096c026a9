// PathHelper's command line, and its commands on the value as the system reads it.
#include "command.h"

#include <algorithm>

namespace korvale::path {

StoredValue fromRegistryData(std::wstring_view data, bool expandable) {
  while (!data.empty() && data.back() == L'\0') data.remove_suffix(1);
  const auto nul = std::min(data.find(L'\0'), data.size());
  return {std::wstring(data.substr(0, nul)), std::wstring(data.substr(nul)), expandable};
}

std::wstring toRegistryData(const StoredValue& value) {
  return value.text + value.afterNul + L'\0';
}

bool isCommand(std::wstring_view name) {
  return name == L"add" || name == L"remove" || name == L"remove-created";
}

std::optional<Invocation> parseArguments(const std::vector<std::wstring_view>& words) {
  Invocation invocation;
  std::size_t next = 0;
  if (!words.empty() && words[0] == L"--user") {
    invocation.scope = Scope::user;
    next = 1;
  }
  if (words.size() != next + 2 || !isCommand(words[next])) return std::nullopt;
  invocation.command = words[next];
  invocation.argument = words[next + 1];
  return invocation;
}

Reply runCommand(std::wstring_view name, std::wstring_view argument, const StoredValue& stored,
                 const Expand& expandReferences) {
  if (!isCommand(name)) return {usage, exitFailed, std::nullopt};
  const bool adding = name == L"add";
  const Expand asWritten = [](std::wstring_view text) { return std::wstring(text); };
  const Edit edit =
      adding ? addFolder(stored.text, argument, stored.expandable ? expandReferences : asWritten)
             : removeEntry(stored.text, argument);
  switch (edit.outcome) {
    case Outcome::unchanged:
      return {adding ? "already on PATH" : "not on PATH", exitUnchanged, std::nullopt};
    case Outcome::tooLong:
      return {"PATH would grow beyond 32766 characters", exitFailed, std::nullopt};
    case Outcome::badFolder:
      return {"the folder cannot go on PATH (not absolute, or holds ; or \")", exitFailed,
              std::nullopt};
    case Outcome::changed:
      break;
  }
  StoredValue result = stored;
  result.text = edit.value;
  result.exists = true;
  if (adding) {
    return stored.exists ? Reply{"added to PATH", exitChanged, result}
                         : Reply{"added to PATH (a new value)", exitAddedAnew, result};
  }
  // The value that add created goes again when the entry was all it held.
  if (name == L"remove-created" && result.text.empty() && result.afterNul.empty()) {
    return {"removed from PATH (and the value, left empty)", exitChanged, std::nullopt, true};
  }
  return {"removed from PATH", exitChanged, result};
}

}  // namespace korvale::path
