// The Windows command-line split: quotes open runs, no escape character, empty words vanish.
#include "command_line.h"

#include <gtest/gtest.h>

namespace korvale {
namespace {

TEST(CommandLine, SplitTable) {
  using Words = std::vector<std::string>;
  const struct {
    std::string_view line;
    Words words;
  } cases[] = {
      {"", {}},
      {"Korvale.exe", {"Korvale.exe"}},
      {"  Korvale.exe   CHECK\ta.xml  ", {"Korvale.exe", "CHECK", "a.xml"}},
      {"\"C:\\Program Files\\Korvale.exe\" SET \"my data.xml\"",
       {"C:\\Program Files\\Korvale.exe", "SET", "my data.xml"}},
      {"k \"\"", {"k"}},
      {"k CHECK \"\" a.xml", {"k", "CHECK", "a.xml"}},
      {"k CHECK \"dir\\\" a.xml", {"k", "CHECK", "dir\\", "a.xml"}},  // no escape by backslash
      {"k ab\"c d\"e", {"k", "abc de"}},
      {"k \"open to the end", {"k", "open to the end"}},
      {"k a\x01"
       "b\x1F"
       "c d",
       {"k", "a", "b", "c", "d"}},
      {"k \xF6l\xFC"
       "ck",
       {"k",
        "\xF6l\xFC"
        "ck"}},  // bytes above 127 are ordinary
  };
  for (const auto& c : cases) EXPECT_EQ(splitCommandLine(c.line), c.words) << c.line;
}

}  // namespace
}  // namespace korvale
