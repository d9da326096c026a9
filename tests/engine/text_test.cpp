// UTF-8 recognition and the UTF-16 / WTF-8 round trip that carries Windows names.
#include "text.h"

#include <gtest/gtest.h>

namespace korvale::engine {
namespace {

TEST(Text, Utf8SequenceLengths) {
  const struct {
    std::string bytes;
    std::size_t length;
  } cases[] = {
      {"", 0},
      {"a", 1},
      {"\x7f", 1},
      {"\xc3\xa4", 2},          // ä
      {"\xe2\x82\xac", 3},      // €
      {"\xf0\x9f\x98\x80", 4},  // U+1F600
      {"\xf4\x8f\xbf\xbf", 4},  // U+10FFFF
      {"\x80", 0},              // a continuation byte alone
      {"\xc3", 0},              // cut short
      {"\xc3(", 0},
      {"\xc0\x80", 0},          // overlong
      {"\xc1\xbf", 0},          // overlong
      {"\xe0\x9f\xbf", 0},      // overlong
      {"\xed\xa0\x80", 0},      // a surrogate
      {"\xed\x9f\xbf", 3},      // U+D7FF, just below
      {"\xf0\x8f\xbf\xbf", 0},  // overlong
      {"\xf4\x90\x80\x80", 0},  // beyond U+10FFFF
      {"\xf5\x80\x80\x80", 0},
      {"\xff", 0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(utf8SequenceLength(c.bytes), c.length) << testing::PrintToString(c.bytes);
  }
  EXPECT_TRUE(isValidUtf8("plain/ä€😀.xml"));
  EXPECT_FALSE(isValidUtf8("l\xe4t.xml"));
}

TEST(Text, Utf16RoundTripKeepsLoneSurrogates) {
  const std::u16string names[] = {
      u"plain.xml",
      u"Grüße.xml",
      u"\u65e5\u672c.xml",
      u"\U0001F600.xml",
      std::u16string(u"lone\xD800high.xml"),
      std::u16string(u"lone\xDC00low.xml"),
      std::u16string(u"\xDC00\xD800 reversed"),
      std::u16string(u"end\xD83D"),
  };
  for (const std::u16string& name : names) {
    const std::string wtf8 = wtf8FromUtf16(name);
    EXPECT_EQ(utf16FromWtf8(wtf8), name);
  }
  EXPECT_EQ(wtf8FromUtf16(u"\U0001F600"), "\xf0\x9f\x98\x80");  // a pair is one character
  EXPECT_EQ(wtf8FromUtf16(std::u16string(1, 0xD800)), "\xed\xa0\x80");
  EXPECT_EQ(wtf8Surrogate("\xed\xa0\x80"), 0xD800);
  EXPECT_EQ(wtf8Surrogate("\xed\xbf\xbf"), 0xDFFF);
  EXPECT_EQ(wtf8Surrogate("\xed\x9f\xbf"), 0);
  EXPECT_EQ(utf16FromWtf8("a\xff"
                          "b"),
            u"a\uFFFDb");
}

}  // namespace
}  // namespace korvale::engine
