// Natively file names are UTF-8: a character is one well-formed UTF-8 sequence, and every byte
// of a malformed one counts as a character of its own, so a name is never cut inside a
// character and bytes that are no UTF-8 still count once each.
#include <cstdint>

#include "file_operations.h"

namespace korvale {
namespace {

// The length of the well-formed sequence at `at` (no overlong form, no surrogate, nothing
// beyond U+10FFFF), or 1 when there is none.
std::size_t characterLength(std::string_view text, std::size_t at) {
  const auto byte = [&](std::size_t i) { return static_cast<uint8_t>(text[i]); };
  const uint8_t lead = byte(at);
  std::size_t length = 1;
  uint8_t low = 0x80, high = 0xBF;  // the range of the byte after the lead
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  }
  if (length == 1 || at + length > text.size()) return 1;
  if (byte(at + 1) < low || byte(at + 1) > high) return 1;
  for (std::size_t i = 2; i < length; ++i) {
    if (byte(at + i) < 0x80 || byte(at + i) > 0xBF) return 1;
  }
  return length;
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
