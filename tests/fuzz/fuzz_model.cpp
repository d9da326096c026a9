// The fuzz targets' own model of the checksum field and the CRC.
#include "fuzz_model.h"

#include <cstdio>
#include <cstdlib>

namespace korvale::model {
namespace {

char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool identifierAt(std::string_view head, std::size_t s) {
  std::string word;
  for (std::size_t i = 0; i < 5; ++i) word += lower(head[s + i]);
  return word == "crc32" && head[s + 5] != '_';
}

}  // namespace

Field findField(std::string_view head) {
  for (std::size_t s = 40; s <= 221; ++s) {
    if (!identifierAt(head, s)) continue;
    // The window: from the identifier's '2' through 30 bytes further, never past the head.
    const std::size_t first = s + 4;
    const std::size_t last = s + 34 < kHead ? s + 34 : kHead - 1;
    const std::string_view window = head.substr(first, last - first + 1);
    const std::size_t at = window.find("\"0x");
    if (at == std::string_view::npos) return {Field::kMalformed, 0};
    const std::size_t quote = first + at;
    if (quote + 11 > last || head[quote + 11] != '"') return {Field::kMalformed, 0};
    return {Field::kFound, quote};
  }
  return {Field::kNoIdentifier, 0};
}

std::string crcText(std::string_view bytes, const Field& field) {
  uint32_t reg = 0xFFFFFFFFu;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    reg ^= field.isDigit(i) ? uint8_t{'0'} : static_cast<uint8_t>(bytes[i]);
    for (int bit = 0; bit < 8; ++bit) reg = (reg >> 1) ^ ((reg & 1u) ? 0xEDB88320u : 0u);
  }
  char text[11];
  std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(reg));
  return text;
}

void fail(const char* what) {
  std::fprintf(stderr, "model disagrees: %s\n", what);
  std::abort();
}

}  // namespace korvale::model
