// The PATH edits: what counts as the same folder, where an added folder goes, and that taking
// it out gives back the value it was added to, whatever that value looked like; and PathHelper's
// commands on the value as the registry holds it.
#include "path_list.h"

#include <gtest/gtest.h>

#include <vector>

#include "command.h"

namespace korvale::path {
namespace {

using namespace std::literals;

std::wstring fakeExpand(std::wstring_view text) {
  std::wstring result(text);
  const std::wstring name = L"%ProgramFiles%";
  for (auto at = result.find(name); at != std::wstring::npos; at = result.find(name)) {
    result.replace(at, name.size(), L"C:\\Program Files");
  }
  return result;
}

constexpr std::wstring_view folder = L"C:\\Program Files\\Korvale";

TEST(PathList, SameFolderTable) {
  const struct {
    std::wstring_view entry;
    bool same;
  } cases[] = {
      {L"C:\\Program Files\\Korvale", true},
      {L"c:\\program files\\KORVALE", true},
      {L"C:\\Program Files\\Korvale\\", true},
      {L"C:/Program Files/Korvale/", true},
      {L"  \"C:\\Program Files\\Korvale\"  ", true},
      {L"%ProgramFiles%\\Korvale", true},
      {L"C:\\Program Files\\Korvale2", false},
      {L"C:\\Program Files\\Korvale\\bin", false},
      {L"C:\\Program Files", false},
      {L"", false},
      {L"%Unknown%\\Korvale", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(sameFolder(c.entry, folder, fakeExpand), c.same)
        << std::string(c.entry.begin(), c.entry.end());
  }
}

// Every value gets the folder once and loses it again without a trace.
TEST(PathList, AddThenRemoveGivesBackTheValue) {
  const struct {
    std::wstring_view before;
    std::wstring_view added;
  } cases[] = {
      {L"", L"C:\\Program Files\\Korvale"},
      {L"C:\\Windows", L"C:\\Windows;C:\\Program Files\\Korvale"},
      {L"C:\\Windows;", L"C:\\Windows;C:\\Program Files\\Korvale;"},
      {L";", L";C:\\Program Files\\Korvale;"},
      {L"C:\\Windows;;%SystemRoot%\\System32",
       L"C:\\Windows;;%SystemRoot%\\System32;C:\\Program Files\\Korvale"},
      // A quoted entry may hold the separator; the text after it is still one entry.
      {L"\"C:\\a;b\";C:\\Windows", L"\"C:\\a;b\";C:\\Windows;C:\\Program Files\\Korvale"},
      // Quotes that do not pair up hold no separator: the folder is an entry of its own.
      {L"C:\\windows\\system32;\"C:\\odd;C:\\windows",
       L"C:\\windows\\system32;\"C:\\odd;C:\\windows;C:\\Program Files\\Korvale"},
      {L"\"C:\\odd;", L"\"C:\\odd;C:\\Program Files\\Korvale;"},
      {L"\"C:\\a;b\";\"", L"\"C:\\a;b\";\";C:\\Program Files\\Korvale"},
  };
  for (const auto& c : cases) {
    const std::string label(c.before.begin(), c.before.end());
    const Edit added = addFolder(c.before, folder, fakeExpand);
    EXPECT_EQ(added.outcome, Outcome::changed) << label;
    EXPECT_EQ(added.value, c.added) << label;
    EXPECT_EQ(addFolder(added.value, folder, fakeExpand).outcome, Outcome::unchanged) << label;
    const Edit removed = removeEntry(added.value, folder);
    EXPECT_EQ(removed.outcome, Outcome::changed) << label;
    EXPECT_EQ(removed.value, c.before) << label;
  }
}

TEST(PathList, AnEntryThatNamesTheFolderAlreadyIsNotAddedTwice) {
  for (const std::wstring_view value :
       {L"C:\\Windows;c:\\program files\\korvale\\", L"%ProgramFiles%\\Korvale;C:\\Windows",
        L"\"C:\\odd;C:\\Program Files\\Korvale"}) {
    const Edit edit = addFolder(value, folder, fakeExpand);
    EXPECT_EQ(edit.outcome, Outcome::unchanged);
    EXPECT_EQ(edit.value, value);
  }
}

// Remove takes out what add appended, as it appended it: the spellings a user wrote himself
// are his, even of the same folder.
TEST(PathList, RemoveTakesOutOnlyTheEntryAsAdded) {
  const struct {
    std::wstring_view value;
    std::wstring_view entry;
    std::wstring_view after;  // empty: nothing to take out
  } cases[] = {
      {L"C:\\Windows;c:\\program files\\korvale\\;C:\\Program Files\\Korvale;C:\\Tools", folder,
       L"C:\\Windows;c:\\program files\\korvale\\;C:\\Tools"},
      // A copy the user added since: one goes, one stays.
      {L"C:\\Program Files\\Korvale;C:\\Windows;C:\\Program Files\\Korvale", folder,
       L"C:\\Windows;C:\\Program Files\\Korvale"},
      {L"C:\\Windows;C:\\PROGRAM FILES\\KORVALE;%ProgramFiles%\\Korvale", folder, L""},
      {L"C:\\Windows;\"C:\\Program Files\\Korvale\"", folder, L""},
      {L"\"C:\\x;C:\\Program Files\\Korvale\";C:\\Windows", folder, L""},
      {L"C:\\Windows;C:\\Program Files\\Korvale2", folder, L""},
      {L"C:\\Windows;;C:\\Tools", L"", L""},
  };
  for (const auto& c : cases) {
    const std::string label(c.value.begin(), c.value.end());
    const Edit edit = removeEntry(c.value, c.entry);
    EXPECT_EQ(edit.outcome, c.after.empty() ? Outcome::unchanged : Outcome::changed) << label;
    EXPECT_EQ(edit.value, c.after.empty() ? c.value : c.after) << label;
  }
}

// A long value is edited whole: nothing is cut at any length a caller's buffer might have.
TEST(PathList, LongValuesKeepEveryCharacter) {
  std::wstring value;
  for (int i = 0; value.size() < 20000; ++i)
    value += L"C:\\Tools\\Folder" + std::to_wstring(i) + L";";
  value.pop_back();
  const Edit added = addFolder(value, folder, fakeExpand);
  ASSERT_EQ(added.outcome, Outcome::changed);
  EXPECT_EQ(added.value, value + L";" + std::wstring(folder));
  EXPECT_EQ(removeEntry(added.value, folder).value, value);
}

TEST(PathList, RefusesWhatCannotBeStored) {
  // The system limit, counted both as written and as expanded.
  const std::wstring nearlyFull(maxValueLength - folder.size() - 1, L'x');
  EXPECT_EQ(addFolder(nearlyFull, folder, fakeExpand).outcome, Outcome::changed);
  const std::wstring full = nearlyFull + L"x";
  const Edit tooLong = addFolder(full, folder, fakeExpand);
  EXPECT_EQ(tooLong.outcome, Outcome::tooLong);
  EXPECT_EQ(tooLong.value, full);
  // Fits as written, not once %ProgramFiles% (14 characters) becomes C:\Program Files (16).
  const std::wstring grows =
      L"%ProgramFiles%" + std::wstring(maxValueLength - folder.size() - 1 - 14, L'x');
  EXPECT_EQ(addFolder(grows, folder, fakeExpand).outcome, Outcome::tooLong);

  for (const std::wstring_view bad :
       {L"", L"Korvale", L"\\Korvale", L"C:Korvale", L"C:\\a;b", L"C:\\a\"b"}) {
    const Edit edit = addFolder(L"C:\\Windows", bad, fakeExpand);
    EXPECT_EQ(edit.outcome, Outcome::badFolder) << std::string(bad.begin(), bad.end());
    EXPECT_EQ(edit.value, L"C:\\Windows");
  }
  EXPECT_EQ(addFolder(L"", L"\\\\server\\share\\Korvale", fakeExpand).outcome, Outcome::changed);
}

// The registry's data as the system reads it: up to the first NUL. What follows stays in the
// data as it was; only the terminating NULs are made one.
TEST(PathCommand, RegistryDataIsReadUpToTheFirstNul) {
  const struct {
    std::wstring_view data;
    std::wstring_view text;
    std::wstring_view written;
  } cases[] = {
      {L"C:\\Windows\0"sv, L"C:\\Windows", L"C:\\Windows\0"sv},
      {L"C:\\Windows"sv, L"C:\\Windows", L"C:\\Windows\0"sv},
      {L"C:\\Windows\0\0"sv, L"C:\\Windows", L"C:\\Windows\0"sv},
      {L"C:\\Windows\0C:\\Hidden\0"sv, L"C:\\Windows", L"C:\\Windows\0C:\\Hidden\0"sv},
      {L"\0C:\\Hidden"sv, L"", L"\0C:\\Hidden\0"sv},
      {L""sv, L"", L"\0"sv},
  };
  for (const auto& c : cases) {
    const StoredValue value = fromRegistryData(c.data, true);
    EXPECT_EQ(value.text, c.text) << c.data.size();
    EXPECT_EQ(toRegistryData(value), c.written) << c.data.size();
  }
}

// PathHelper's answers, from the registry's data in to the data it writes back: the texts and
// statuses the installer reads, %NAME% expanded only in a REG_EXPAND_SZ value, and the part
// after a NUL left where it was.
TEST(PathCommand, AnswersTable) {
  const struct {
    std::wstring_view command;
    std::wstring_view argument;
    std::wstring_view data;
    bool expandable;
    int status;
    std::string_view message;
    std::wstring_view written;  // empty: nothing written
  } cases[] = {
      {L"add", folder, L"C:\\Windows\0"sv, true, 0, "added to PATH",
       L"C:\\Windows;C:\\Program Files\\Korvale\0"sv},
      {L"add", folder, L"%ProgramFiles%\\Korvale\0"sv, true, 1, "already on PATH", L""},
      {L"add", folder, L"%ProgramFiles%\\Korvale\0"sv, false, 0, "added to PATH",
       L"%ProgramFiles%\\Korvale;C:\\Program Files\\Korvale\0"sv},
      {L"add", folder, L"C:\\Windows\0C:\\Program Files\\Korvale\0"sv, true, 0, "added to PATH",
       L"C:\\Windows;C:\\Program Files\\Korvale\0C:\\Program Files\\Korvale\0"sv},
      {L"add", L"Korvale", L"C:\\Windows\0"sv, true, 2,
       "the folder cannot go on PATH (not absolute, or holds ; or \")", L""},
      {L"remove", folder, L"C:\\Windows;C:\\Program Files\\Korvale\0C:\\Hidden\0"sv, true, 0,
       "removed from PATH", L"C:\\Windows\0C:\\Hidden\0"sv},
      {L"remove", folder, L"C:\\Windows;c:\\program files\\korvale\0"sv, true, 1, "not on PATH",
       L""},
      {L"remove", folder, L"C:\\Windows\0C:\\Program Files\\Korvale\0"sv, true, 1, "not on PATH",
       L""},
      {L"remove-created", folder, L"C:\\Windows;C:\\Program Files\\Korvale\0"sv, true, 0,
       "removed from PATH", L"C:\\Windows\0"sv},
      {L"delete", folder, L"C:\\Windows\0"sv, true, 2,
       "usage: PathHelper [--user] add|remove|remove-created FOLDER", L""},
  };
  for (const auto& c : cases) {
    const std::string label =
        std::string(c.command.begin(), c.command.end()) + " " + std::to_string(c.data.size());
    const Reply reply =
        runCommand(c.command, c.argument, fromRegistryData(c.data, c.expandable), fakeExpand);
    EXPECT_EQ(reply.status, c.status) << label;
    EXPECT_EQ(reply.message, c.message) << label;
    ASSERT_EQ(reply.store.has_value(), !c.written.empty()) << label;
    if (reply.store) {
      EXPECT_EQ(toRegistryData(*reply.store), c.written) << label;
      EXPECT_EQ(reply.store->expandable, c.expandable) << label;
    }
  }
}

// A user's PATH is often no value at all: add makes it (status 3, so that the setup records it
// as its own), and remove-created deletes it again once the entry was all it held. A value
// that was there before, even empty, is only ever written.
TEST(PathCommand, AValueThatDidNotExist) {
  StoredValue none;
  none.exists = false;
  const Reply added = runCommand(L"add", folder, none, fakeExpand);
  EXPECT_EQ(added.status, 3);
  EXPECT_STREQ(added.message, "added to PATH (a new value)");
  ASSERT_TRUE(added.store.has_value());
  EXPECT_TRUE(added.store->exists);
  EXPECT_TRUE(added.store->expandable);
  EXPECT_EQ(toRegistryData(*added.store), L"C:\\Program Files\\Korvale\0"sv);
  EXPECT_FALSE(added.erase);

  const Reply removed = runCommand(L"remove-created", folder, *added.store, fakeExpand);
  EXPECT_EQ(removed.status, 0);
  EXPECT_STREQ(removed.message, "removed from PATH (and the value, left empty)");
  EXPECT_TRUE(removed.erase);
  EXPECT_FALSE(removed.store.has_value());

  // Only the value add made: remove leaves an empty value where it was.
  const Reply kept = runCommand(L"remove", folder, *added.store, fakeExpand);
  EXPECT_FALSE(kept.erase);
  ASSERT_TRUE(kept.store.has_value());
  EXPECT_EQ(toRegistryData(*kept.store), L"\0"sv);

  // Something the user put after a NUL, or another entry added since, keeps the value.
  const Reply hidden =
      runCommand(L"remove-created", folder,
                 fromRegistryData(L"C:\\Program Files\\Korvale\0C:\\Hidden\0"sv, true), fakeExpand);
  EXPECT_FALSE(hidden.erase);
  ASSERT_TRUE(hidden.store.has_value());
  EXPECT_EQ(toRegistryData(*hidden.store), L"\0C:\\Hidden\0"sv);
  const Reply other =
      runCommand(L"remove-created", folder,
                 fromRegistryData(L"C:\\Program Files\\Korvale;C:\\Tools\0"sv, true), fakeExpand);
  EXPECT_FALSE(other.erase);
  ASSERT_TRUE(other.store.has_value());
  EXPECT_EQ(toRegistryData(*other.store), L"C:\\Tools\0"sv);

  // An empty value that exists is the user's: add writes it, status 0.
  const Reply intoEmpty = runCommand(L"add", folder, fromRegistryData(L""sv, true), fakeExpand);
  EXPECT_EQ(intoEmpty.status, 0);
  EXPECT_STREQ(intoEmpty.message, "added to PATH");
  const Reply nothing = runCommand(L"remove-created", folder, none, fakeExpand);
  EXPECT_EQ(nothing.status, 1);
  EXPECT_FALSE(nothing.erase);
  EXPECT_FALSE(nothing.store.has_value());
}

// The command line: an optional --user first, then a command and its one argument.
TEST(PathCommand, ArgumentsTable) {
  const struct {
    std::vector<std::wstring_view> words;
    bool valid;
    Scope scope;
    std::wstring_view command;
  } cases[] = {
      {{L"add", folder}, true, Scope::machine, L"add"},
      {{L"remove", folder}, true, Scope::machine, L"remove"},
      {{L"--user", L"add", folder}, true, Scope::user, L"add"},
      {{L"--user", L"remove-created", folder}, true, Scope::user, L"remove-created"},
      {{L"--user", L"remove", folder}, true, Scope::user, L"remove"},
      {{L"add", folder, L"--user"}, false, Scope::machine, L""},
      {{L"--user", L"add"}, false, Scope::machine, L""},
      {{L"--user"}, false, Scope::machine, L""},
      {{L"--machine", L"add", folder}, false, Scope::machine, L""},
      {{L"delete", folder}, false, Scope::machine, L""},
      {{}, false, Scope::machine, L""},
  };
  for (const auto& c : cases) {
    const auto invocation = parseArguments(c.words);
    ASSERT_EQ(invocation.has_value(), c.valid) << c.words.size();
    if (!invocation) continue;
    EXPECT_EQ(invocation->scope, c.scope);
    EXPECT_EQ(invocation->command, c.command);
    EXPECT_EQ(invocation->argument, folder);
  }
}

}  // namespace
}  // namespace korvale::path
