// The entries of a --files-from list, split as its bytes arrive (a pipe from find may deliver
// them slowly, and work begins with the first).
#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace korvale::batch {

// Receives one entry; false stops the reading.
using EntrySink = std::function<bool(std::string path)>;

class ListSplitter {
 public:
  // Entries end with `separator` ('\n' or '\0'). With `dropCarriageReturn`, a '\r' before a
  // line feed goes too (lists written on Windows). Empty entries are skipped.
  ListSplitter(char separator, bool dropCarriageReturn);

  // Hands over every entry that `bytes` completes; false when `take` stopped.
  bool feed(std::string_view bytes, const EntrySink& take);
  // Hands over the last entry, if the list did not end with a separator.
  bool finish(const EntrySink& take);

 private:
  bool emit(const EntrySink& take);

  char separator_;
  bool dropCarriageReturn_;
  std::string partial_;
};

}  // namespace korvale::batch
