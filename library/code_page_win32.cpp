// On Windows the system's ANSI code page may be a double-byte one: a lead byte and its
// trail byte count as one character and are never split.
#include <windows.h>

#include "file_operations.h"

namespace korvale {
namespace {

std::size_t characterLength(std::string_view text, std::size_t at) {
  return IsDBCSLeadByte(static_cast<BYTE>(text[at])) && at + 1 < text.size() ? 2 : 1;
}

}  // namespace

std::string_view lastCharacters(std::string_view name, std::size_t count) noexcept {
  std::size_t characters = 0;
  for (std::size_t at = 0; at < name.size(); at += characterLength(name, at)) ++characters;
  std::size_t at = 0;
  for (std::size_t skip = characters > count ? characters - count : 0; skip > 0; --skip) {
    at += characterLength(name, at);
  }
  return name.substr(at);
}

}  // namespace korvale
