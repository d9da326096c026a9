// Tavisk.dll for real under wine64 and Xvfb: the platform's HTML Help control opens a help file
// compiled by the build (chm/sample.hhp) at its default topic and at its one mapped context.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "tavisk.h"

namespace {

constexpr uint32_t kMappedContext = 4711;  // IDH_CONTEXT in chm/sample.hhp

std::string besideThisProgram(const char* fileName) {
  char path[MAX_PATH];
  const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string directory(path, length);
  return directory.substr(0, directory.rfind('\\') + 1) + fileName;
}

TEST(TaviskDll, OpensAHelpFileAtItsDefaultTopicAndAtAMappedContext) {
  const std::string helpFile = besideThisProgram("help_sample.chm");
  const std::string missing = besideThisProgram("no_such_help.chm");

  const HWND atDefault = static_cast<HWND>(launchHelp(helpFile.c_str()));
  EXPECT_TRUE(IsWindow(atDefault));
  const HWND atContext = static_cast<HWND>(launchHelpByTopicID(helpFile.c_str(), kMappedContext));
  EXPECT_TRUE(IsWindow(atContext));
  EXPECT_EQ(launchHelp(missing.c_str()), nullptr);
  EXPECT_EQ(launchHelpByTopicID(missing.c_str(), kMappedContext), nullptr);

  // The viewer's windows belong to this thread; close them rather than leave them to exit.
  for (const HWND window : {atDefault, atContext}) {
    if (IsWindow(window)) SendMessageA(window, WM_CLOSE, 0, 0);
    EXPECT_FALSE(IsWindow(window));
  }
}

}  // namespace
