// The name as line 2 of the report shows it on Windows: its last characters in the system's
// ANSI code page, where a single-byte page counts bytes.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "file_operations.h"

namespace korvale {
namespace {

TEST(CodePage, LastCharactersCountBytesOfASingleByteCodePage) {
  if (GetACP() != 1252) GTEST_SKIP() << "the ANSI code page is " << GetACP();
  EXPECT_EQ(lastCharacters(std::string(74, '\xE4'), 60), std::string(60, '\xE4'));
  // UTF-8 means nothing here: its bytes are characters of their own.
  EXPECT_EQ(lastCharacters("a\xC3\xA4\xC3\xA4", 3), "\xA4\xC3\xA4");
}

}  // namespace
}  // namespace korvale
