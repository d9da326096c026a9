#include "list.h"

namespace korvale::batch {

ListSplitter::ListSplitter(char separator, bool dropCarriageReturn, std::size_t longest)
    : separator_(separator),
      dropCarriageReturn_(dropCarriageReturn && separator == '\n'),
      longest_(longest) {}

bool ListSplitter::feed(std::string_view bytes, const EntrySink& take) {
  for (std::size_t end; (end = bytes.find(separator_)) != std::string_view::npos;) {
    append(bytes.substr(0, end));
    bytes.remove_prefix(end + 1);
    if (!emit(take)) return false;
  }
  append(bytes);
  return true;
}

// Keeps one byte more than the longest entry: enough to tell that it is too long, and for a CR
// at the end of the longest one.
void ListSplitter::append(std::string_view bytes) {
  const std::size_t kept = longest_ + 2;
  if (partial_.size() < kept) partial_.append(bytes.substr(0, kept - partial_.size()));
}

bool ListSplitter::finish(const EntrySink& take) { return emit(take); }

bool ListSplitter::emit(const EntrySink& take) {
  if (dropCarriageReturn_ && partial_.ends_with('\r')) partial_.pop_back();
  if (partial_.size() > longest_ + 1) partial_.resize(longest_ + 1);
  if (partial_.empty()) return true;
  std::string entry;
  entry.swap(partial_);
  return take(std::move(entry));
}

}  // namespace korvale::batch
