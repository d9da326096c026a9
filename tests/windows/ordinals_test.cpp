// Every export of the built DLL is reachable by its name and by its fixed ordinal.
#include <gtest/gtest.h>
#include <windows.h>

namespace {

TEST(Ordinals, EachNameSitsAtItsOrdinal) {
  HMODULE library = LoadLibraryA("Korvalelib.dll");
  ASSERT_NE(library, nullptr);
  const char* names[] = {"DUDO66413_getInfoErrorString",
                         "DUDO66413_getInfoErrorCode",
                         "DUDO66413_getInfoCRC32",
                         "DUDO66413_getInfoCommandFile",
                         "DUDO66413_getInfoHeader",
                         "DUDO66413_resetCRC32inFile",
                         "DUDO66413_setCRC32inFile",
                         "DUDO66413_checkCRC32inFile",
                         "DUDO66413_getFailSafeCRC32",
                         "DUDO66413_getVersion",
                         "DUDO66413_getFullName",
                         "DUDO66413_getShortName",
                         "DUDO66413_reset"};
  for (WORD ordinal = 1; ordinal <= 13; ++ordinal) {
    FARPROC byName = GetProcAddress(library, names[ordinal - 1]);
    EXPECT_NE(byName, nullptr) << names[ordinal - 1];
    EXPECT_EQ(byName, GetProcAddress(library, MAKEINTRESOURCEA(ordinal))) << ordinal;
  }
  EXPECT_EQ(GetProcAddress(library, MAKEINTRESOURCEA(14)), nullptr);
}

}  // namespace
