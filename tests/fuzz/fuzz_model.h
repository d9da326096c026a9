// A small model of the checksum field and the CRC, written for the fuzz targets straight from
// the rules of the format, so that the library is checked against something it does not share.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace korvale::model {

inline constexpr std::size_t kHead = 252;

struct Field {
  enum Kind { kFound, kNoIdentifier, kMalformed } kind = kNoIdentifier;
  std::size_t quote = 0;                            // the opening '"' when found
  std::size_t digits() const { return quote + 3; }  // eight digit bytes from here
  bool isDigit(std::size_t offset) const {
    return kind == kFound && offset >= digits() && offset < digits() + 8;
  }
};

// The field of a head; `head` holds at least 252 bytes.
Field findField(std::string_view head);

// "0x" and eight uppercase digits of the CRC-32/JAMCRC of `bytes` with the field's digits
// read as '0', computed bit by bit.
std::string crcText(std::string_view bytes, const Field& field);

// Stops the run as a finding, with the reason on standard error.
[[noreturn]] void fail(const char* what);
inline void expect(bool condition, const char* what) {
  if (!condition) fail(what);
}

}  // namespace korvale::model
