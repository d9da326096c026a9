// Splitting --files-from lists as their bytes arrive.
#include "list.h"

#include <gtest/gtest.h>

#include <vector>

namespace korvale::batch {
namespace {

std::vector<std::string> split(const std::vector<std::string>& pieces, char separator,
                               bool dropCarriageReturn, std::size_t longest = 4095) {
  std::vector<std::string> entries;
  const EntrySink take = [&](std::string path) {
    entries.push_back(std::move(path));
    return true;
  };
  ListSplitter splitter(separator, dropCarriageReturn, longest);
  for (const std::string& piece : pieces) EXPECT_TRUE(splitter.feed(piece, take));
  EXPECT_TRUE(splitter.finish(take));
  return entries;
}

using Entries = std::vector<std::string>;

TEST(List, EntriesAcrossPieces) {
  EXPECT_EQ(split({"a.xml\nb", ".xml\n", "\nc d.xml"}, '\n', false),
            (Entries{"a.xml", "b.xml", "c d.xml"}));
  EXPECT_EQ(split({"one\r\ntwo\r\n"}, '\n', true), (Entries{"one", "two"}));
  EXPECT_EQ(split({"one\r\ntwo\r"}, '\n', false), (Entries{"one\r", "two\r"}));
  EXPECT_EQ(split({"\r\n\r\n"}, '\n', true), Entries{});
  // NUL-separated: line feeds and carriage returns are part of names.
  EXPECT_EQ(split({std::string("a\nb\0c\r\0", 7), std::string("\0d", 2)}, '\0', true),
            (Entries{"a\nb", "c\r", "d"}));
  EXPECT_EQ(split({"", ""}, '\n', false), Entries{});
}

// An entry beyond the longest path comes out one byte too long to open, whatever its length
// and however its bytes arrive; the entries around it are untouched.
TEST(List, EntriesTooLongToOpenAreCut) {
  EXPECT_EQ(split({"abcd\nabcde\nabcdefgh", "ij\nxy"}, '\n', false, 4),
            (Entries{"abcd", "abcde", "abcde", "xy"}));
  EXPECT_EQ(split({"abcd\r\nabcd", "e\r", "\n"}, '\n', true, 4), (Entries{"abcd", "abcde"}));
  EXPECT_EQ(split({std::string(1 << 20, 'a'), std::string("\0b\0", 3)}, '\0', false, 4),
            (Entries{"aaaaa", "b"}));
}

TEST(List, StopsWhenTheTakerStops) {
  int taken = 0;
  const EntrySink take = [&](std::string) { return ++taken < 2; };
  ListSplitter splitter('\n', false, 4095);
  EXPECT_FALSE(splitter.feed("a\nb\nc\n", take));
  EXPECT_EQ(taken, 2);
}

}  // namespace
}  // namespace korvale::batch
