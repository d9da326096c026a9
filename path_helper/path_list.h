// path_list.h: adding a folder to a PATH value and taking it out again, as text. The value
// is edited in place: every other entry, separator and quote stays exactly as it was, so
// taking out what was added gives back the original value. Entries are separated by the
// semicolons outside quotes, or by every semicolon when the quotes do not pair up.
#ifndef KORVALE_PATH_LIST_H
#define KORVALE_PATH_LIST_H

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

namespace korvale::path {

// The longest value the system accepts for an environment variable, in characters (without
// the terminating NUL).
inline constexpr std::size_t maxValueLength = 32766;

// Gives an entry as the system reads it: with its %NAME% references replaced in an expandable
// value (so that %ProgramFiles%\Korvale is recognised as the same folder), as written in
// another.
using Expand = std::function<std::wstring(std::wstring_view)>;

enum class Outcome {
  changed,    // the value now holds the folder (add) or no longer holds the entry (remove)
  unchanged,  // it already did (add) or never did (remove): the value is the same text
  tooLong,    // add: the value would grow beyond maxValueLength; it is left as it was
  badFolder,  // add: the folder is empty, relative, or holds a character PATH cannot carry
};

struct Edit {
  Outcome outcome;
  std::wstring value;  // the value to store; the old one unless outcome is changed
};

// True when the entry names the folder: compared without surrounding quotes and blanks,
// without trailing slashes, ignoring the case of ASCII letters, as written and expanded.
bool sameFolder(std::wstring_view entry, std::wstring_view folder, const Expand& expand);

// Appends the folder, exactly as written, as the last entry unless an entry already names it.
// A value that ends with a separator keeps ending with one.
Edit addFolder(std::wstring_view value, std::wstring_view folder, const Expand& expand);

// Takes out one entry that reads exactly as the given one (what addFolder appended), with one
// separator. Other spellings of the same folder are someone else's, and stay.
Edit removeEntry(std::wstring_view value, std::wstring_view entry);

}  // namespace korvale::path

#endif  // KORVALE_PATH_LIST_H
