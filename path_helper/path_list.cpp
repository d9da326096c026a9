// The PATH edits: the value is cut into entries at its separators, and joined back with the
// same separators, so untouched text comes back byte for byte.
#include "path_list.h"

#include <algorithm>
#include <vector>

namespace korvale::path {
namespace {

constexpr wchar_t separator = L';';

std::vector<std::wstring_view> entriesOf(std::wstring_view value) {
  // A quote without its pair would hold every separator after it, and so hide the entries
  // appended later (the setup's among them) inside one entry.
  const bool quotesPair = std::count(value.begin(), value.end(), L'"') % 2 == 0;
  std::vector<std::wstring_view> entries;
  std::size_t start = 0;
  bool quoted = false;
  for (std::size_t i = 0; i < value.size(); ++i) {
    if (value[i] == L'"' && quotesPair) {
      quoted = !quoted;
    } else if (value[i] == separator && !quoted) {
      entries.push_back(value.substr(start, i - start));
      start = i + 1;
    }
  }
  entries.push_back(value.substr(start));
  return entries;
}

std::wstring_view trimmed(std::wstring_view text) {
  const auto blank = [](wchar_t c) { return c == L' ' || c == L'\t'; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  return text;
}

// The folder an entry names, in a form two spellings of one folder share.
std::wstring comparable(std::wstring_view entry) {
  entry = trimmed(entry);
  if (entry.size() >= 2 && entry.front() == L'"' && entry.back() == L'"') {
    entry = trimmed(entry.substr(1, entry.size() - 2));
  }
  while (!entry.empty() && (entry.back() == L'\\' || entry.back() == L'/')) entry.remove_suffix(1);
  std::wstring folded(entry);
  for (auto& c : folded) {
    if (c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - L'a' + L'A');
    if (c == L'/') c = L'\\';
  }
  return folded;
}

bool isAbsolute(std::wstring_view folder) {
  const auto slash = [](wchar_t c) { return c == L'\\' || c == L'/'; };
  if (folder.size() >= 3 && folder[1] == L':' && slash(folder[2])) {
    const wchar_t drive = folder[0];
    return (drive >= L'A' && drive <= L'Z') || (drive >= L'a' && drive <= L'z');
  }
  return folder.size() > 2 && slash(folder[0]) && slash(folder[1]);
}

}  // namespace

bool sameFolder(std::wstring_view entry, std::wstring_view folder, const Expand& expand) {
  const std::wstring wanted = comparable(folder);
  if (wanted.empty()) return false;
  if (comparable(entry) == wanted) return true;
  return entry.find(L'%') != std::wstring_view::npos && comparable(expand(entry)) == wanted;
}

Edit addFolder(std::wstring_view value, std::wstring_view folder, const Expand& expand) {
  const std::wstring original(value);
  if (!isAbsolute(folder) || folder.find_first_of(L";\"") != std::wstring_view::npos) {
    return {Outcome::badFolder, original};
  }
  const auto entries = entriesOf(value);
  if (std::any_of(entries.begin(), entries.end(),
                  [&](std::wstring_view entry) { return sameFolder(entry, folder, expand); })) {
    return {Outcome::unchanged, original};
  }
  std::wstring added;
  if (value.empty()) {
    added = folder;
  } else if (value.back() == separator) {
    added = original + std::wstring(folder) + separator;
  } else {
    added = original + separator + std::wstring(folder);
  }
  if (added.size() > maxValueLength || expand(added).size() > maxValueLength) {
    return {Outcome::tooLong, original};
  }
  return {Outcome::changed, added};
}

Edit removeEntry(std::wstring_view value, std::wstring_view entry) {
  const auto entries = entriesOf(value);
  // The first that matches: when the user has since added the same text again, either copy
  // may go, and one stays.
  const auto found = std::find(entries.begin(), entries.end(), entry);
  if (entry.empty() || found == entries.end()) return {Outcome::unchanged, std::wstring(value)};
  std::wstring kept;
  bool first = true;
  for (auto it = entries.begin(); it != entries.end(); ++it) {
    if (it == found) continue;
    if (!first) kept += separator;
    kept += *it;
    first = false;
  }
  return {Outcome::changed, kept};
}

}  // namespace korvale::path
