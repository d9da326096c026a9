// The command line: what each form asks for, and the usage errors with their messages.
#include "options.h"

#include <gtest/gtest.h>

namespace korvale::batch {
namespace {

using Words = std::vector<std::string>;

TEST(Options, FormsOfTheSameRequest) {
  const Words forms[] = {
      {"-j", "3", "--json", "-q", "check", "a", "b"},
      {"check", "a", "-j3", "b", "--json", "--quiet"},
      {"--jobs=3", "CHECK", "--json", "a", "-q", "b"},
      {"--jobs", "3", "-qj3", "--json", "Check", "a", "b"},
  };
  for (const Words& words : forms) {
    const Command command = parseArguments(words, 8);
    ASSERT_EQ(command.kind, Command::kRun) << command.error;
    EXPECT_EQ(command.options.operation, Operation::kCheck);
    EXPECT_EQ(command.options.paths, (Words{"a", "b"}));
    EXPECT_EQ(command.options.jobs, 3u);
    EXPECT_TRUE(command.options.json);
    EXPECT_TRUE(command.options.quiet);
    EXPECT_FALSE(command.options.filesFrom);
  }
}

TEST(Options, DefaultsListsAndOperands) {
  Command command = parseArguments({"set", "x.xml"}, 6);
  ASSERT_EQ(command.kind, Command::kRun);
  EXPECT_EQ(command.options.operation, Operation::kSet);
  EXPECT_EQ(command.options.jobs, 6u);
  EXPECT_FALSE(command.options.json || command.options.quiet || command.options.nulSeparated);

  command = parseArguments({"reset", "--files-from", "-", "-0"}, 1);
  ASSERT_EQ(command.kind, Command::kRun) << command.error;
  EXPECT_EQ(command.options.operation, Operation::kReset);
  EXPECT_EQ(command.options.filesFrom, "-");
  EXPECT_TRUE(command.options.nulSeparated);
  EXPECT_TRUE(command.options.paths.empty());

  command = parseArguments({"--files-from=list.txt", "--null", "check", "d"}, 1);
  ASSERT_EQ(command.kind, Command::kRun) << command.error;
  EXPECT_EQ(command.options.filesFrom, "list.txt");
  EXPECT_EQ(command.options.paths, Words{"d"});

  // After "--" everything is a path; a lone "-" is a path anywhere.
  command = parseArguments({"check", "--", "-j", "--json", "-"}, 1);
  ASSERT_EQ(command.kind, Command::kRun) << command.error;
  EXPECT_EQ(command.options.paths, (Words{"-j", "--json", "-"}));
  EXPECT_FALSE(command.options.json);
}

TEST(Options, HelpAndVersionWinOverWhatFollows) {
  EXPECT_EQ(parseArguments({"--help"}, 1).kind, Command::kHelp);
  EXPECT_EQ(parseArguments({"check", "-h", "--bogus"}, 1).kind, Command::kHelp);
  EXPECT_EQ(parseArguments({"--version", "nonsense"}, 1).kind, Command::kVersion);
  EXPECT_EQ(parseArguments({"check", "--", "--help"}, 1).kind, Command::kRun);
}

TEST(Options, UsageErrors) {
  const struct {
    Words words;
    const char* message;
  } cases[] = {
      {{}, "no operation given (check, set or reset)"},
      {{"-q"}, "no operation given (check, set or reset)"},
      {{"verify", "a"}, "unknown operation 'verify'"},
      {{"check"}, "no PATH given"},
      {{"check", "-j"}, "option -j needs a value"},
      {{"check", "a", "--jobs"}, "option --jobs needs a value"},
      {{"check", "a", "-j", "0"}, "option -j takes a number from 1 to 1024, not '0'"},
      {{"check", "a", "-j1025"}, "option -j takes a number from 1 to 1024, not '1025'"},
      {{"check", "a", "--jobs=2x"}, "option --jobs takes a number from 1 to 1024, not '2x'"},
      {{"check", "a", "-j", "-1"}, "option -j takes a number from 1 to 1024, not '-1'"},
      {{"check", "a", "--json=yes"}, "option --json takes no value"},
      {{"check", "a", "--bogus"}, "unknown option '--bogus'"},
      {{"check", "a", "-qx"}, "unknown option '-x'"},
      {{"check", "a", "-0"}, "-0 needs --files-from"},
      {{"check", "--files-from", "a", "--files-from", "b"}, "--files-from may be given once"},
  };
  for (const auto& c : cases) {
    const Command command = parseArguments(c.words, 4);
    EXPECT_EQ(command.kind, Command::kUsageError) << c.message;
    EXPECT_EQ(command.error, c.message);
  }
}

TEST(Options, Texts) {
  EXPECT_EQ(usageText("korvale-batch"),
            "Usage: korvale-batch [OPTIONS] check|set|reset PATH...\n"
            "Try 'korvale-batch --help' for more information.\n");
  EXPECT_EQ(versionText("KorvaleBatch"), "KorvaleBatch (Korvale) 1.0.20120528\n");
  const std::string help = helpText("korvale-batch");
  EXPECT_TRUE(help.starts_with("Usage: korvale-batch [OPTIONS] check|set|reset PATH...\n"));
  // It fits a terminal of 80 columns.
  for (std::size_t at = 0, end; (end = help.find('\n', at)) != std::string::npos; at = end + 1) {
    EXPECT_LE(end - at, 80u) << help.substr(at, end - at);
  }
}

}  // namespace
}  // namespace korvale::batch
