// Natively the file name is taken as single-byte text: one byte, one character.
#include "file_operations.h"

namespace korvale {

std::string_view lastCharacters(std::string_view name, std::size_t count) noexcept {
  return name.size() > count ? name.substr(name.size() - count) : name;
}

}  // namespace korvale
