// UTF-8, WTF-8 and UTF-16, by the rules of Unicode's table of well-formed byte sequences.
#include "text.h"

namespace korvale::engine {
namespace {

bool isContinuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

// The code point of a sequence of `length` bytes, already checked.
char32_t decode(std::string_view text, std::size_t length) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  if (length == 1) return byte(0);
  char32_t value = byte(0) & (0x7F >> length);
  for (std::size_t i = 1; i < length; ++i) value = (value << 6) | (byte(i) & 0x3F);
  return value;
}

void appendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

}  // namespace

std::size_t utf8SequenceLength(std::string_view text) {
  if (text.empty()) return 0;
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(0);
  if (lead < 0x80) return 1;
  std::size_t length;
  unsigned char low = 0x80, high = 0xBF;  // the allowed range of the second byte
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;   // no overlong form
    if (lead == 0xED) high = 0x9F;  // no surrogate
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;   // no overlong form
    if (lead == 0xF4) high = 0x8F;  // nothing beyond U+10FFFF
  } else {
    return 0;
  }
  if (text.size() < length || byte(1) < low || byte(1) > high) return 0;
  for (std::size_t i = 2; i < length; ++i) {
    if (!isContinuation(byte(i))) return 0;
  }
  return length;
}

bool isValidUtf8(std::string_view text) {
  while (!text.empty()) {
    const std::size_t length = utf8SequenceLength(text);
    if (length == 0) return false;
    text.remove_prefix(length);
  }
  return true;
}

char16_t wtf8Surrogate(std::string_view text) {
  if (text.size() < 3 || static_cast<unsigned char>(text[0]) != 0xED) return 0;
  const auto second = static_cast<unsigned char>(text[1]);
  if (second < 0xA0 || second > 0xBF || !isContinuation(static_cast<unsigned char>(text[2]))) {
    return 0;
  }
  return static_cast<char16_t>(decode(text, 3));
}

std::string wtf8FromUtf16(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    char32_t c = text[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
    }
    appendUtf8(out, c);  // a lone surrogate is encoded like any other value
  }
  return out;
}

std::u16string utf16FromWtf8(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  while (!text.empty()) {
    std::size_t length = utf8SequenceLength(text);
    char32_t c = 0xFFFD;
    if (length > 0) {
      c = decode(text, length);
    } else if (const char16_t surrogate = wtf8Surrogate(text)) {
      c = surrogate;
      length = 3;
    } else {
      length = 1;
    }
    if (c >= 0x10000) {
      out += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
      out += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
    } else {
      out += static_cast<char16_t>(c);
    }
    text.remove_prefix(length);
  }
  return out;
}

}  // namespace korvale::engine
