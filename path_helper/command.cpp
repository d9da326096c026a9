// PathHelper's commands on the value as the system reads it.
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

bool isCommand(std::wstring_view name) { return name == L"add" || name == L"remove"; }

Reply runCommand(std::wstring_view name, std::wstring_view argument, const StoredValue& stored,
                 const Expand& expandReferences) {
  if (!isCommand(name)) return {usage, 2, std::nullopt};
  const bool adding = name == L"add";
  const Expand asWritten = [](std::wstring_view text) { return std::wstring(text); };
  const Edit edit =
      adding ? addFolder(stored.text, argument, stored.expandable ? expandReferences : asWritten)
             : removeEntry(stored.text, argument);
  switch (edit.outcome) {
    case Outcome::unchanged:
      return {adding ? "already on PATH" : "not on PATH", 1, std::nullopt};
    case Outcome::tooLong:
      return {"PATH would grow beyond 32766 characters", 2, std::nullopt};
    case Outcome::badFolder:
      return {"the folder cannot go on PATH (not absolute, or holds ; or \")", 2, std::nullopt};
    case Outcome::changed:
      break;
  }
  StoredValue changed = stored;
  changed.text = edit.value;
  return {adding ? "added to PATH" : "removed from PATH", 0, changed};
}

}  // namespace korvale::path
