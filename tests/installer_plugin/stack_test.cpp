// The host's string stack and user variables, against an emulated host, in the build's width.
#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "emulated_host.h"
#include "host_stack.h"

namespace korvale::pelwick {
namespace {

using testing::EmulatedHost;
using testing::FakePlatform;
using testing::narrow;
using testing::text;

class HostStackTest : public ::testing::Test {
 protected:
  // The plug-in's view of the host, as an export takes it over.
  HostStack takenOver(int stringSize) {
    HostStack stack(platform);
    stack.takeOver(stringSize, host.variables.data(), &host.top);
    return stack;
  }

  FakePlatform platform;
  EmulatedHost host{platform, 16};
};

TEST_F(HostStackTest, PushedTextPopsBackAndEveryEntryIsFreed) {
  host.push("below");
  HostStack stack = takenOver(16);
  stack.pushstring(text("first").c_str());
  stack.pushstring(text("second").c_str());
  EXPECT_EQ(host.contents(), (std::vector<std::string>{"second", "first", "below"}));

  pelwick_char buffer[16];
  ASSERT_EQ(stack.popstring(buffer), 0);
  EXPECT_EQ(narrow(buffer), "second");
  ASSERT_EQ(stack.popstring(buffer), 0);
  EXPECT_EQ(narrow(buffer), "first");
  EXPECT_EQ(host.contents(), std::vector<std::string>{"below"});
  EXPECT_EQ(platform.blocks.size(), 1u) << "popped entries must go back to the heap";
}

TEST_F(HostStackTest, EntriesAreSizedAsTheHostExpects) {
  HostStack stack = takenOver(16);
  stack.pushstring(text("x").c_str());
  EXPECT_EQ(platform.allocationSizes.back(), sizeof(pelwick_stack_t) + 16 * sizeof(pelwick_char));
}

TEST_F(HostStackTest, PushedTextIsCutAtStringSizeLessOne) {
  struct Case {
    const char* pushed;
    const char* popped;
  } cases[] = {{"", ""}, {"abcd", "abcd"}, {"abcde", "abcd"}, {"abcdefghijk", "abcd"}};
  for (const Case& c : cases) {
    HostStack stack = takenOver(5);
    stack.pushstring(text(c.pushed).c_str());
    EXPECT_EQ(host.pop(), c.popped) << c.pushed;
  }
}

TEST_F(HostStackTest, PopNeverWritesMoreThanTheStringSize) {
  // An entry longer than the string size the plug-in was given must not overrun its buffer.
  host.push("0123456789");
  HostStack stack = takenOver(4);
  pelwick_char buffer[8];
  std::fill(std::begin(buffer), std::end(buffer), pelwick_char{'#'});
  ASSERT_EQ(stack.popstring(buffer), 0);
  EXPECT_EQ(narrow(buffer), "012");
  EXPECT_EQ(buffer[4], '#');
  EXPECT_EQ(host.top, nullptr);
}

TEST_F(HostStackTest, EmptyOrMissingStack) {
  pelwick_char buffer[4] = {'k', 'e', 'p', 0};
  HostStack stack = takenOver(16);
  EXPECT_EQ(stack.popstring(buffer), 1);
  EXPECT_EQ(narrow(buffer), "kep");

  stack.takeOver(16, host.variables.data(), nullptr);
  EXPECT_EQ(stack.popstring(buffer), 1);
  EXPECT_EQ(narrow(buffer), "kep");
  stack.pushstring(text("lost").c_str());
  stack.clear_stack();
  EXPECT_TRUE(platform.allocationSizes.empty()) << "no stack: nothing to allocate for";
}

TEST_F(HostStackTest, RefusedAllocationsWriteNothing) {
  HostStack stack = takenOver(16);
  platform.refusedAllocations = 2;
  stack.pushstring(text("lost").c_str());
  EXPECT_EQ(host.top, nullptr);
  EXPECT_EQ(stack.STRDUP(text("lost").c_str()), nullptr);
}

TEST_F(HostStackTest, ClearStackFreesEveryEntry) {
  host.push("a");
  host.push("b");
  HostStack stack = takenOver(16);
  stack.pushstring(text("c").c_str());
  stack.clear_stack();
  EXPECT_EQ(host.top, nullptr);
  EXPECT_TRUE(platform.blocks.empty());
}

TEST_F(HostStackTest, PushdwordWritesSignedDecimal) {
  struct Case {
    int value;
    const char* pushed;
  } cases[] = {{0, "0"}, {42, "42"}, {-1, "-1"}, {INT_MAX, "2147483647"}, {INT_MIN, "-2147483648"}};
  HostStack stack = takenOver(16);
  for (const Case& c : cases) {
    stack.pushdword(c.value);
    EXPECT_EQ(host.pop(), c.pushed);
  }
}

TEST_F(HostStackTest, UserVariablesFirstToLast) {
  HostStack stack = takenOver(16);
  const pelwick_char* base = host.variables.data();
  EXPECT_EQ(stack.getuservariable(-1), nullptr);
  EXPECT_EQ(stack.getuservariable(0), base);
  EXPECT_EQ(stack.getuservariable(24), base + 24 * 16);
  EXPECT_EQ(stack.getuservariable(25), nullptr);

  const std::vector<pelwick_char> before = host.variables;
  stack.setuservariable(-1, text("no").c_str());
  stack.setuservariable(25, text("no").c_str());
  stack.setuservariable(3, nullptr);
  EXPECT_EQ(host.variables, before);

  stack.setuservariable(0, text("first").c_str());
  stack.setuservariable(24, text("a text that is longer than sixteen").c_str());
  EXPECT_EQ(narrow(base), "first");
  EXPECT_EQ(narrow(base + 24 * 16), "a text that is ");
  EXPECT_EQ(base[16], '#') << "variable 1 must be untouched";
}

TEST_F(HostStackTest, StrdupCopiesIntoAHeapBlockOfItsLength) {
  HostStack stack = takenOver(16);
  pelwick_char* copy = stack.STRDUP(text("copy me").c_str());
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(narrow(copy), "copy me");
  EXPECT_EQ(platform.allocationSizes.back(), 8 * sizeof(pelwick_char));
  platform.globalFree(copy);
}

TEST(NsAtoi, ReadsHexOctalAndDecimalUntilTheFirstMisfit) {
  struct Case {
    const char* input;
    int value;
  } cases[] = {
      {"", 0},      {"0", 0},        {"123", 123},       {"123abc", 123},
      {"0x1F", 31}, {"0XaBc", 2748}, {"0x", 0},          {"0xg", 0},
      {"017", 15},  {"08", 8},       {"0178", 15},       {"-5", 0},
      {"+5", 0},    {" 5", 0},       {"0xFFFFFFFF", -1}, {"2147483647", INT_MAX},
  };
  for (const Case& c : cases) EXPECT_EQ(ns_atoi(text(c.input).c_str()), c.value) << c.input;
}

TEST(NsStrstr, FindsTheFirstOccurrence) {
  struct Case {
    const char* haystack;
    const char* pattern;
    int at;  // -1: not found
  } cases[] = {
      {"abcabc", "bc", 1}, {"abc", "", 0},  {"", "", 0},      {"abc", "abc", 0},
      {"abc", "abcd", -1}, {"ab", "c", -1}, {"aab", "ab", 1}, {"abc", "C", -1},
  };
  for (const Case& c : cases) {
    const auto haystack = text(c.haystack);
    const pelwick_char* found = ns_strstr(haystack.c_str(), text(c.pattern).c_str());
    if (c.at < 0) {
      EXPECT_EQ(found, nullptr) << c.haystack << " / " << c.pattern;
    } else {
      EXPECT_EQ(found, haystack.c_str() + c.at) << c.haystack << " / " << c.pattern;
    }
  }
}

}  // namespace
}  // namespace korvale::pelwick
