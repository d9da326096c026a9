// The entries of a --files-from list, split as its bytes arrive (a pipe from find may deliver
// them slowly, and work begins with the first), each held in a bounded buffer however long
// its line.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

namespace korvale::batch {

// Receives one entry; false stops the reading.
using EntrySink = std::function<bool(std::string path)>;

class ListSplitter {
 public:
  // Entries end with `separator` ('\n' or '\0'). With `dropCarriageReturn`, a '\r' before a
  // line feed goes too (lists written on Windows). Empty entries are skipped. An entry longer
  // than `longest` bytes names no file the system could open: it is handed over cut to
  // `longest` + 1 bytes, still too long to open, and the rest of it is never held.
  ListSplitter(char separator, bool dropCarriageReturn, std::size_t longest);

  // Hands over every entry that `bytes` completes; false when `take` stopped.
  bool feed(std::string_view bytes, const EntrySink& take);
  // Hands over the last entry, if the list did not end with a separator.
  bool finish(const EntrySink& take);

 private:
  void append(std::string_view bytes);
  bool emit(const EntrySink& take);

  char separator_;
  bool dropCarriageReturn_;
  std::size_t longest_;
  std::string partial_;
};

}  // namespace korvale::batch
