// The PATH edits: what counts as the same folder, where an added folder goes, and that taking
// it out gives back the value it was added to, whatever that value looked like.
#include "path_list.h"

#include <gtest/gtest.h>

namespace korvale::path {
namespace {

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
  };
  for (const auto& c : cases) {
    const std::string label(c.before.begin(), c.before.end());
    const Edit added = addFolder(c.before, folder, fakeExpand);
    EXPECT_EQ(added.outcome, Outcome::changed) << label;
    EXPECT_EQ(added.value, c.added) << label;
    EXPECT_EQ(addFolder(added.value, folder, fakeExpand).outcome, Outcome::unchanged) << label;
    const Edit removed = removeFolder(added.value, folder, fakeExpand);
    EXPECT_EQ(removed.outcome, Outcome::changed) << label;
    EXPECT_EQ(removed.value, c.before) << label;
  }
}

TEST(PathList, AnEntryThatNamesTheFolderAlreadyIsNotAddedTwice) {
  for (const std::wstring_view value :
       {L"C:\\Windows;c:\\program files\\korvale\\", L"%ProgramFiles%\\Korvale;C:\\Windows"}) {
    const Edit edit = addFolder(value, folder, fakeExpand);
    EXPECT_EQ(edit.outcome, Outcome::unchanged);
    EXPECT_EQ(edit.value, value);
  }
}

TEST(PathList, RemoveTakesOutEverySpellingAndKeepsTheRest) {
  const Edit edit = removeFolder(
      L"C:\\Program Files\\Korvale;C:\\Windows;;%ProgramFiles%\\Korvale;C:\\Tools;"
      L"C:\\PROGRAM FILES\\KORVALE\\",
      folder, fakeExpand);
  EXPECT_EQ(edit.outcome, Outcome::changed);
  EXPECT_EQ(edit.value, L"C:\\Windows;;C:\\Tools");

  const Edit nothing = removeFolder(L"C:\\Windows;C:\\Program Files\\Korvale2", folder, fakeExpand);
  EXPECT_EQ(nothing.outcome, Outcome::unchanged);
  EXPECT_EQ(nothing.value, L"C:\\Windows;C:\\Program Files\\Korvale2");
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
  EXPECT_EQ(removeFolder(added.value, folder, fakeExpand).value, value);
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

}  // namespace
}  // namespace korvale::path
