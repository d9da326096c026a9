// The lines, the JSON escapes, the summary, the progress line and the output buffer.
#include "output.h"

#include <gtest/gtest.h>

#include <vector>

namespace korvale::batch {
namespace {

Outcome outcome(int32_t code, std::string crc, uint64_t size = 600) {
  return {code, std::move(crc), size};
}

TEST(Output, TextLines) {
  const struct {
    std::string path;
    Outcome outcome;
    std::string line;
    PathForm form = PathForm::kBytes;
  } cases[] = {
      {"cat/a.xml", outcome(0, "0x1A2B3C4D"), "00\t0x1A2B3C4D\tcat/a.xml\tOK\n"},
      {"b c.xml", outcome(1, "0x00000000"), "01\t0x00000000\tb c.xml\tERROR: [01] CRC is empty\n"},
      {"m.xml", outcome(13, "0x00000000"),
       "13\t0x00000000\tm.xml\tERROR: [13] Missing [\"] in CRC32.\n"},
      {"short.xml", outcome(22, ""), "22\t\tshort.xml\tERROR: [22] File is to short.\n"},
      {"x", outcome(21, "0x00000000"),
       "21\t0x00000000\tx\tERROE: [21] Could not open file exclusive for ReadWrite.\n"},
      {"tab\there\nnew\x7f.xml", outcome(0, "0x00000001"),
       "00\t0x00000001\ttab\\x09here\\x0anew\\x7f.xml\tOK\n"},
      // A backslash is a name's own byte natively, and escaped so that "a\\x09b" (seven bytes)
      // and "a<TAB>b" print apart; on Windows it only separates folders.
      {"a\\x09b\\", outcome(0, "0x00000001"), "00\t0x00000001\ta\\\\x09b\\\\\tOK\n"},
      {std::string("cat\0junk", 8), outcome(21, "0x00000000"),
       "21\t0x00000000\tcat\\x00junk\tERROE: [21] Could not open file exclusive for ReadWrite.\n"},
      {"C:\\data\\\xc3\xa4.xml", outcome(2, "0x00000000"),
       "02\t0x00000000\tC:\\data\\\xc3\xa4.xml\tERROR: [02] CRC is different\n", PathForm::kWtf8},
  };
  for (const auto& c : cases) {
    std::string line;
    appendTextLine(line, c.path, c.outcome, c.form);
    EXPECT_EQ(line, c.line);
  }
}

TEST(Output, JsonLine) {
  std::string line;
  // Both values of a stamp that differs come after the keys that were there before them.
  Outcome differs = outcome(2, "0x00000000");
  differs.stored = "0x12345678";
  differs.computed = "0x1A2B3C4D";
  appendJsonLine(line, "cat/a.xml", Operation::kCheck, differs, PathForm::kBytes);
  EXPECT_EQ(line, R"({"path": "cat/a.xml", "operation": "check", "code": 2, "crc": "0x00000000", )"
                  R"("message": "ERROR: [02] CRC is different", "stored": "0x12345678", )"
                  R"("computed": "0x1A2B3C4D"})"
                  "\n");
  line.clear();
  appendJsonLine(line, "m.xml", Operation::kReset, outcome(13, "0x00000000"), PathForm::kWtf8);
  EXPECT_EQ(line,
            R"({"path": "m.xml", "operation": "reset", "code": 13, "crc": "0x00000000", )"
            R"("message": "ERROR: [13] Missing [\"] in CRC32.", "stored": "", "computed": ""})"
            "\n");
  line.clear();
  appendJsonLine(line, "s.xml", Operation::kSet, outcome(22, ""), PathForm::kBytes);
  EXPECT_EQ(line, R"({"path": "s.xml", "operation": "set", "code": 22, "crc": "", )"
                  R"("message": "ERROR: [22] File is to short.", "stored": "", "computed": ""})"
                  "\n");
}

TEST(Output, JsonStrings) {
  const struct {
    std::string text;
    PathForm form;
    std::string json;
  } cases[] = {
      {"plain/a.xml", PathForm::kBytes, R"("plain/a.xml")"},
      {"q\"b\\s", PathForm::kBytes, R"("q\"b\\s")"},
      {"C:\\d\\a.xml", PathForm::kWtf8, R"("C:\\d\\a.xml")"},
      {"\b\f\n\r\t\x01\x1f\x7f", PathForm::kBytes, "\"\\b\\f\\n\\r\\t\\u0001\\u001f\x7f\""},
      {std::string("nul\0byte", 8), PathForm::kBytes, R"("nul\u0000byte")"},
      {"Gr\xc3\xbc\xc3\x9f"
       "e \xe6\x97\xa5 \xf0\x9f\x98\x80",
       PathForm::kBytes,
       "\"Gr\xc3\xbc\xc3\x9f"
       "e \xe6\x97\xa5 \xf0\x9f\x98\x80\""},
      // Bytes that are no UTF-8, one escape each, as Python's surrogateescape reads them back.
      {"l\xe4t.xml", PathForm::kBytes, R"("l\udce4t.xml")"},
      {"\xc3(\xff\x80", PathForm::kBytes, R"("\udcc3(\udcff\udc80")"},
      // A lone surrogate: its bytes natively, the UTF-16 unit it stands for on Windows.
      {"a\xed\xa0\x80"
       "b",
       PathForm::kBytes, R"("a\udced\udca0\udc80b")"},
      {"a\xed\xa0\x80"
       "b",
       PathForm::kWtf8, R"("a\ud800b")"},
      {"\xed\xbf\xbf", PathForm::kWtf8, R"("\udfff")"},
  };
  for (const auto& c : cases) {
    std::string json;
    appendJsonString(json, c.text, c.form);
    EXPECT_EQ(json, c.json) << testing::PrintToString(c.text);
  }
}

TEST(Output, Summary) {
  Tally tally;
  for (int i = 0; i < 1200; ++i) tally.count(outcome(0, "0x1A2B3C4D", 4096));
  tally.count(outcome(21, "0x00000000", 0));
  tally.count(outcome(2, "0x00000000", 1000));
  tally.count(outcome(2, "0x00000000", 1000));
  EXPECT_EQ(tally.files(), 1203u);
  EXPECT_EQ(tally.bytes(), 1200u * 4096 + 2000);
  EXPECT_FALSE(tally.allOk());
  EXPECT_EQ(summaryText("korvale-batch", Operation::kCheck, tally, 0.5),
            "korvale-batch: check of 1203 files, 4.9 MB in 0.50 s (9.8 MB/s, 2406 files/s)\n"
            "     1200  OK\n"
            "        2  ERROR: [02] CRC is different\n"
            "        1  ERROE: [21] Could not open file exclusive for ReadWrite.\n");

  Tally none;
  EXPECT_TRUE(none.allOk());
  EXPECT_EQ(summaryText("KorvaleBatch", Operation::kSet, none, 0),
            "KorvaleBatch: set of 0 files, 0 bytes in 0.00 s\n");
}

TEST(Output, ProgressLine) {
  EXPECT_EQ(progressText({120, 491520, 300, false, 2.0}),
            "120 files, 491.5 kB, 60 files/s, 0.2 MB/s");
  EXPECT_EQ(progressText({120, 491520, 300, true, 2.0}),
            "120 of 300 files, 491.5 kB, 60 files/s, 0.2 MB/s, 3 s left");
  EXPECT_EQ(progressText({1, 2'000'000'000, 10000, true, 4.0}),
            "1 of 10000 files, 2.00 GB, 0 files/s, 500.0 MB/s, 11 h 6 min left");
  EXPECT_EQ(progressText({0, 0, 5, false, 0.1}), "0 files, 0 bytes");
}

TEST(Output, BufferWritesInOrderAndStopsAfterAFailure) {
  std::vector<std::string> writes;
  bool fail = false;
  OutputBuffer buffer(
      [&](std::string_view bytes) {
        writes.emplace_back(bytes);
        return !fail;
      },
      false, 10);
  EXPECT_TRUE(buffer.append("1234\n"));
  EXPECT_TRUE(writes.empty());
  EXPECT_TRUE(buffer.append("56789\n"));  // past the threshold
  EXPECT_EQ(writes, (std::vector<std::string>{"1234\n56789\n"}));
  EXPECT_TRUE(buffer.append("a\n"));
  EXPECT_TRUE(buffer.flush());
  EXPECT_TRUE(buffer.flush());  // nothing left: no empty write
  EXPECT_EQ(writes, (std::vector<std::string>{"1234\n56789\n", "a\n"}));
  fail = true;
  EXPECT_TRUE(buffer.append("b\n"));
  EXPECT_FALSE(buffer.flush());
  EXPECT_FALSE(buffer.append("c\n"));
  EXPECT_EQ(writes.size(), 3u);

  std::vector<std::string> lines;
  OutputBuffer terminal(
      [&](std::string_view bytes) {
        lines.emplace_back(bytes);
        return true;
      },
      true);
  terminal.append("x\n");
  terminal.append("y\n");
  EXPECT_EQ(lines, (std::vector<std::string>{"x\n", "y\n"}));
}

}  // namespace
}  // namespace korvale::batch
