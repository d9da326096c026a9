// The name as line 2 of the report shows it natively: its last characters counted in UTF-8,
// every byte of a malformed sequence counting once.
#include <gtest/gtest.h>

#include <string>

#include "file_operations.h"

namespace korvale {
namespace {

std::string times(std::string_view text, int count) {
  std::string result;
  while (count-- > 0) result += text;
  return result;
}

TEST(CodePage, LastCharactersCountUtf8Characters) {
  struct Case {
    const char* what;
    std::string name;
    std::size_t count;
    std::string shown;
  } cases[] = {
      {"ASCII", std::string(100, 'n'), 60, std::string(60, 'n')},
      {"74 two-byte characters", times("\xC3\xA4", 74), 60, times("\xC3\xA4", 60)},
      {"an odd split in bytes", times("\xC3\xA4", 74) + "x", 60, times("\xC3\xA4", 59) + "x"},
      {"three and four bytes", "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80", 3,
       "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80"},
      {"short names whole", "\xE2\x82\xAC.xml", 60, "\xE2\x82\xAC.xml"},
      {"single-byte text", std::string(70, '\xE4'), 60, std::string(60, '\xE4')},
      {"a cut sequence: two characters",
       "ab\xE2\x82"
       "cd",
       3,
       "\x82"
       "cd"},
      {"a stray continuation byte", "\xC3\xA9\x80z", 2, "\x80z"},
      {"overlong form", "a\xC0\xAF", 2, "\xC0\xAF"},
      {"surrogate", "a\xED\xA0\x80", 2, "\xA0\x80"},
      {"beyond U+10FFFF", "a\xF4\x90\x80\x80", 3, "\x90\x80\x80"},
      {"the highest character", "a\xF4\x8F\xBF\xBF", 1, "\xF4\x8F\xBF\xBF"},
      {"a sequence cut by the end", "ab\xF0\x9F\x98", 3, "\xF0\x9F\x98"},
  };
  for (const Case& c : cases) EXPECT_EQ(lastCharacters(c.name, c.count), c.shown) << c.what;
}

}  // namespace
}  // namespace korvale
