#include "list.h"

namespace korvale::batch {

ListSplitter::ListSplitter(char separator, bool dropCarriageReturn)
    : separator_(separator), dropCarriageReturn_(dropCarriageReturn && separator == '\n') {}

bool ListSplitter::feed(std::string_view bytes, const EntrySink& take) {
  for (std::size_t end; (end = bytes.find(separator_)) != std::string_view::npos;) {
    partial_.append(bytes.substr(0, end));
    bytes.remove_prefix(end + 1);
    if (!emit(take)) return false;
  }
  partial_.append(bytes);
  return true;
}

bool ListSplitter::finish(const EntrySink& take) { return emit(take); }

bool ListSplitter::emit(const EntrySink& take) {
  if (dropCarriageReturn_ && partial_.ends_with('\r')) partial_.pop_back();
  if (partial_.empty()) return true;
  std::string entry;
  entry.swap(partial_);
  return take(std::move(entry));
}

}  // namespace korvale::batch
