// The field search and the in-memory field routines, as one table of heads.
#include "checksum_field.h"

#include <gtest/gtest.h>

#include <string>

namespace korvale {
namespace {

// A head of '.' with `text` placed at offset `at`.
HeadBlock head(std::size_t at, std::string_view text) {
  HeadBlock block;
  block.fill('.');
  for (std::size_t i = 0; i < text.size() && at + i < block.size(); ++i) block[at + i] = text[i];
  return block;
}

std::string spaces(std::size_t n) { return std::string(n, ' '); }

struct SearchCase {
  const char* what;
  HeadBlock block;
  FieldSearch::Outcome outcome;
  std::size_t quote = 0;
};

TEST(ChecksumField, SearchTable) {
  const std::string field = R"(crc32="0x12345678")";
  const SearchCase cases[] = {
      {"lowest offset", head(40, field), FieldSearch::kFound, 46},
      {"highest offset", head(221, R"(crc32"0x12345678")"), FieldSearch::kFound, 226},
      {"offset 222 is too late", head(222, R"(crc32"0x1234)"), FieldSearch::kNoIdentifier},
      {"before 40 only", head(30, field), FieldSearch::kNoIdentifier},
      {"upper case", head(50, R"(CRC32="0x12345678")"), FieldSearch::kFound, 56},
      {"mixed case", head(50, R"(cRc32="0x12345678")"), FieldSearch::kFound, 56},
      {"digits must be 3 and 2", head(50, R"(crc23="0x12345678")"), FieldSearch::kNoIdentifier},
      {"underscore skipped", head(50, R"(crc32_type="x" crc32="0x12345678")"), FieldSearch::kFound,
       71},
      {"a letter after is taken", head(50, R"(crc32a="0x12345678")"), FieldSearch::kFound, 57},
      {"blanks around =", head(50, R"(crc32 = "0x12345678")"), FieldSearch::kFound, 58},
      {"quote right after", head(50, R"(crc32"0x12345678")"), FieldSearch::kFound, 55},
      {"upper-case X", head(50, R"(crc32="0X12345678")"), FieldSearch::kMalformed},
      {"no closing quote", head(50, R"(crc32="0x12345678 )"), FieldSearch::kMalformed},
      {"opening 18 after the identifier", head(50, "crc32" + spaces(18) + R"("0x12345678")"),
       FieldSearch::kFound, 73},
      {"opening 19 after the identifier", head(50, "crc32" + spaces(19) + R"("0x12345678")"),
       FieldSearch::kMalformed},
      {"closing quote at 251", head(221, "crc32" + spaces(14) + R"("0x12345678")"),
       FieldSearch::kFound, 240},
      {"closing quote at 252", head(221, "crc32" + spaces(15) + R"("0x12345678")"),
       FieldSearch::kMalformed},
      {"only the first identifier counts", head(50, "crc32 " + spaces(30) + field),
       FieldSearch::kMalformed},
      {"16-bit text", head(50, std::string("c\0r\0c\0003\0002\0", 10)), FieldSearch::kNoIdentifier},
  };
  for (const SearchCase& c : cases) {
    FieldSearch found = findCRC32Field(c.block);
    EXPECT_EQ(found.outcome, c.outcome) << c.what;
    if (c.outcome == FieldSearch::kFound) {
      EXPECT_EQ(found.quote, c.quote) << c.what;
    }
  }
}

TEST(ChecksumField, ZeroAndWriteChangeOnlyTheDigits) {
  HeadBlock block = head(60, R"(crc32="0xzz3456AB")");
  HeadBlock expected = head(60, R"(crc32="0x00000000")");
  EXPECT_EQ(zeroCRC32inHead(block), kOk);
  EXPECT_EQ(block, expected);

  expected = head(60, R"(crc32="0xCAFE0001")");
  EXPECT_EQ(writeCRC32inHead(block, "0xCAFE0001"), kOk);
  EXPECT_EQ(block, expected);
}

TEST(ChecksumField, ZeroAndWriteLeaveAFaultyHeadUnchanged) {
  struct Case {
    HeadBlock block;
    int32_t code;
  } cases[] = {{head(60, "no identifier here"), kNoIdentifier},
               {head(60, R"(crc32="0X12345678")"), kFieldUnwritable}};
  for (Case& c : cases) {
    const HeadBlock before = c.block;
    EXPECT_EQ(zeroCRC32inHead(c.block), c.code);
    EXPECT_EQ(writeCRC32inHead(c.block, "0x11111111"), c.code);
    EXPECT_EQ(c.block, before);
  }
}

}  // namespace
}  // namespace korvale
