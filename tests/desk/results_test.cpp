// The results window's model: words, path parts, order and filter, counts, Copy and Export.
#include "results.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace korvale::desk {
namespace {

Row row(std::string path, int32_t code, std::string stored = "", std::string computed = "") {
  Row r;
  r.path = std::move(path);
  r.outcome.code = code;
  r.outcome.crcText = code == kOk ? computed : std::string(kFailSafeCRC32);
  r.outcome.stored = std::move(stored);
  r.outcome.computed = std::move(computed);
  return r;
}

std::vector<std::string> viewPaths(const ResultTable& table) {
  std::vector<std::string> paths;
  for (std::size_t i = 0; i < table.viewCount(); ++i) paths.push_back(table.viewRow(i).path);
  return paths;
}

std::vector<const Row*> allRows(const ResultTable& table) {
  std::vector<const Row*> rows;
  for (std::size_t i = 0; i < table.viewCount(); ++i) rows.push_back(&table.viewRow(i));
  return rows;
}

TEST(DeskResults, ResultWordPerCode) {
  const std::pair<int32_t, std::string_view> table[] = {
      {0, "stamp OK"},      {1, "not stamped"},          {2, "stamp differs"},
      {11, "no CRC field"}, {12, "malformed CRC field"}, {13, "malformed CRC field"},
      {21, "cannot open"},  {22, "too short"},           {99, "unknown"},
  };
  for (const auto& [code, word] : table) EXPECT_EQ(resultWord(code), word) << code;
}

TEST(DeskResults, NameAndFolderOfAPath) {
  struct Case {
    std::string_view path;
    PathForm form;
    std::string_view name, folder;
  };
  const Case table[] = {
      {"a.xml", PathForm::kBytes, "a.xml", ""},
      {"cat/sub/a.xml", PathForm::kBytes, "a.xml", "cat/sub"},
      {"/a.xml", PathForm::kBytes, "a.xml", "/"},
      {"odd\\name.xml", PathForm::kBytes, "odd\\name.xml", ""},  // an ordinary character there
      {"C:\\data\\a.xml", PathForm::kWtf8, "a.xml", "C:\\data"},
      {"C:\\a.xml", PathForm::kWtf8, "a.xml", "C:\\"},
      {"C:/data/sub\\a.xml", PathForm::kWtf8, "a.xml", "C:/data/sub"},
      {"\\\\?\\C:\\long\\a.xml", PathForm::kWtf8, "a.xml", "\\\\?\\C:\\long"},
  };
  for (const Case& c : table) {
    EXPECT_EQ(nameOf(c.path, c.form), c.name) << c.path;
    EXPECT_EQ(folderOf(c.path, c.form), c.folder) << c.path;
  }
}

// Rows whose every column orders them differently, with ties to show that ties keep input order.
ResultTable sample() {
  ResultTable table(PathForm::kBytes);
  table.add(row("b/Zeta.xml", kOk, "0x11111111", "0x11111111"));
  table.add(row("a/alpha.xml", kCrcDifferent, "0x22222222", "0x33333333"));
  table.add(row("c/beta.xml", kCannotOpen));
  table.add(row("a/Beta.xml", kCrcEmpty, "0x00000000", "0x44444444"));
  table.add(row("b/alpha.xml", kOk, "0x55555555", "0x55555555"));
  return table;
}

TEST(DeskResults, SortsByEveryColumnBothWaysTiesInInputOrder) {
  struct Case {
    Column column;
    bool ascending;
    std::vector<std::string> order;
  };
  const Case table[] = {
      {Column::kName,
       true,
       {"a/alpha.xml", "b/alpha.xml", "a/Beta.xml", "c/beta.xml", "b/Zeta.xml"}},
      {Column::kName,
       false,
       {"b/Zeta.xml", "c/beta.xml", "a/Beta.xml", "b/alpha.xml", "a/alpha.xml"}},
      {Column::kFolder,
       true,
       {"a/alpha.xml", "a/Beta.xml", "b/alpha.xml", "b/Zeta.xml", "c/beta.xml"}},
      {Column::kResult,
       true,
       {"b/Zeta.xml", "b/alpha.xml", "a/Beta.xml", "a/alpha.xml", "c/beta.xml"}},
      {Column::kResult,
       false,
       {"c/beta.xml", "a/alpha.xml", "a/Beta.xml", "b/Zeta.xml", "b/alpha.xml"}},
      {Column::kStored,
       true,
       {"c/beta.xml", "a/Beta.xml", "b/Zeta.xml", "a/alpha.xml", "b/alpha.xml"}},
      {Column::kComputed,
       false,
       {"b/alpha.xml", "a/Beta.xml", "a/alpha.xml", "b/Zeta.xml", "c/beta.xml"}},
      {Column::kMessage,
       true,
       {"b/Zeta.xml", "b/alpha.xml", "a/Beta.xml", "a/alpha.xml", "c/beta.xml"}},
  };
  for (const Case& c : table) {
    ResultTable t = sample();
    t.sortBy(c.column, c.ascending);
    EXPECT_EQ(viewPaths(t), c.order) << columnTitle(c.column) << (c.ascending ? " up" : " down");
  }
}

TEST(DeskResults, ProblemsOnlyFilterWithSortAddReplaceAndRemove) {
  ResultTable t = sample();
  t.sortBy(Column::kName, true);
  t.setProblemsOnly(true);
  EXPECT_EQ(viewPaths(t), (std::vector<std::string>{"a/alpha.xml", "a/Beta.xml", "c/beta.xml"}));
  // Rows that come in take their sorted place; an OK one stays hidden.
  t.add(row("d/aardvark.xml", kTooShort));
  t.add(row("d/aaa.xml", kOk));
  EXPECT_EQ(viewPaths(t), (std::vector<std::string>{"d/aardvark.xml", "a/alpha.xml", "a/Beta.xml",
                                                    "c/beta.xml"}));
  // A row that became OK leaves the view; one that became a problem joins it.
  t.replace(1, row("a/alpha.xml", kOk, "0x33333333", "0x33333333"));
  t.replace(0, row("b/Zeta.xml", kCrcDifferent, "0x11111111", "0x99999999"));
  t.refresh();
  EXPECT_EQ(viewPaths(t),
            (std::vector<std::string>{"d/aardvark.xml", "a/Beta.xml", "c/beta.xml", "b/Zeta.xml"}));
  // Removal by place in the view, and the hidden rows stay.
  t.removeViewRows({0, 2});
  EXPECT_EQ(viewPaths(t), (std::vector<std::string>{"a/Beta.xml", "b/Zeta.xml"}));
  t.setProblemsOnly(false);
  EXPECT_EQ(viewPaths(t), (std::vector<std::string>{"d/aaa.xml", "a/alpha.xml", "b/alpha.xml",
                                                    "a/Beta.xml", "b/Zeta.xml"}));
}

TEST(DeskResults, CountsAndStatusText) {
  ResultTable t(PathForm::kBytes);
  EXPECT_EQ(statusText(t), "0 files");
  t.add(row("one.xml", kOk));
  EXPECT_EQ(statusText(t), "1 file: 1 stamp OK");
  t = sample();
  t.add(row("m1.xml", kFieldUnreadable));
  t.add(row("m2.xml", kFieldUnwritable));
  t.add(row("odd.xml", 77));
  t.setProblemsOnly(true);  // counts are over every row
  EXPECT_EQ(statusText(t),
            "8 files: 2 stamp OK, 1 not stamped, 1 stamp differs, 2 malformed CRC field, "
            "1 cannot open, 1 unknown");
  EXPECT_EQ(t.counts()[0], 2u);
}

TEST(DeskResults, StampsThatAResetErases) {
  const Row rows[] = {row("a", kOk, "0x11111111", "0x11111111"), row("b", kCrcEmpty, "0x00000000"),
                      row("c", kCannotOpen), row("d", kCrcDifferent, "0x22222222", "0x33333333")};
  EXPECT_EQ(stampsAmong({&rows[0], &rows[1], &rows[2], &rows[3]}), 2u);
  EXPECT_EQ(stampsAmong({&rows[1], &rows[2]}), 0u);
}

TEST(DeskResults, StampsThatAStampReplaces) {
  const Row rows[] = {row("a", kOk, "0x11111111", "0x11111111"), row("b", kCrcEmpty, "0x00000000"),
                      row("c", kCannotOpen), row("d", kCrcDifferent, "0x22222222", "0x33333333"),
                      row("e", kCrcDifferent, "0x44444444", "0x55555555")};
  EXPECT_EQ(stampsDiffering({&rows[0], &rows[1], &rows[2], &rows[3], &rows[4]}), 2u);
  EXPECT_EQ(stampsDiffering({&rows[0], &rows[1], &rows[2]}), 0u);
}

TEST(DeskResults, CopyIsTabSeparatedWithAHeader) {
  ResultTable t(PathForm::kWtf8);
  t.add(row("C:\\cat\\a.xml", kOk, "0xB50E504C", "0xB50E504C"));
  t.add(row("C:\\cat\\b.xml", kCannotOpen));
  EXPECT_EQ(tabSeparated(allRows(t), t.form()),
            "Name\tFolder\tResult\tStored CRC\tComputed CRC\tMessage\r\n"
            "a.xml\tC:\\cat\tstamp OK\t0xB50E504C\t0xB50E504C\tOK\r\n"
            "b.xml\tC:\\cat\tcannot open\t\t\t"
            "ERROE: [21] Could not open file exclusive for ReadWrite.\r\n");
}

TEST(DeskResults, ExportAsCsvAndJsonLines) {
  ResultTable t(PathForm::kBytes);
  t.add(row("cat/a.xml", kOk, "0xB50E504C", "0xB50E504C"));
  t.add(row("cat/we,\"ird\".xml", kCrcDifferent, "0x00000001", "0xB50E504C"));
  Row reset = row("cat/r\x01\xff.xml", kCrcEmpty, "0x00000000", "0x12345678");
  reset.operation = Operation::kReset;
  t.add(reset);
  EXPECT_EQ(
      csvText(allRows(t)),
      "path,operation,code,crc,message,stored,computed\r\n"
      "cat/a.xml,check,0,0xB50E504C,OK,0xB50E504C,0xB50E504C\r\n"
      "\"cat/we,\"\"ird\"\".xml\",check,2,0x00000000,ERROR: [02] CRC is different,"
      "0x00000001,0xB50E504C\r\n"
      "cat/r\x01\xff.xml,reset,1,0x00000000,ERROR: [01] CRC is empty,0x00000000,0x12345678\r\n");
  EXPECT_EQ(jsonLines(allRows(t), t.form()),
            "{\"path\": \"cat/a.xml\", \"operation\": \"check\", \"code\": 0, \"crc\": "
            "\"0xB50E504C\", \"message\": \"OK\", \"stored\": \"0xB50E504C\", \"computed\": "
            "\"0xB50E504C\"}\n"
            "{\"path\": \"cat/we,\\\"ird\\\".xml\", \"operation\": \"check\", \"code\": 2, "
            "\"crc\": \"0x00000000\", \"message\": \"ERROR: [02] CRC is different\", \"stored\": "
            "\"0x00000001\", \"computed\": \"0xB50E504C\"}\n"
            "{\"path\": \"cat/r\\u0001\\udcff.xml\", \"operation\": \"reset\", \"code\": 1, "
            "\"crc\": \"0x00000000\", \"message\": \"ERROR: [01] CRC is empty\", \"stored\": "
            "\"0x00000000\", \"computed\": \"0x12345678\"}\n");
}

}  // namespace
}  // namespace korvale::desk
