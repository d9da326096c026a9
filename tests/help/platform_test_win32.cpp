// The Win32 platform of the help launcher: the fallback control comes from the system
// directory only, never from a file of the same name planted beside the calling program.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "viewer_platform.h"

namespace tavisk {
namespace {

std::string directoryOf(HMODULE module) {
  char path[MAX_PATH];
  const DWORD length = GetModuleFileNameA(module, path, MAX_PATH);
  const std::string full(path, length);
  return full.substr(0, full.rfind('\\'));
}

// A file that is removed again however the test ends.
struct PlantedFile {
  std::string path;
  ~PlantedFile() { DeleteFileA(path.c_str()); }
};

TEST(Win32ViewerPlatform, LoadsTheFallbackFromTheSystemDirectoryOnly) {
  // Any DLL serves as the plant; this build's own is at hand.
  const std::string here = directoryOf(nullptr);
  const PlantedFile planted{here + "\\hhctrl.ocx"};
  ASSERT_TRUE(CopyFileA((here + "\\Tavisk.dll").c_str(), planted.path.c_str(), FALSE));

  ViewerPlatform& platform = systemViewerPlatform();
  // The ordinary search takes the plant: the setup is a real threat.
  const auto ordinary = static_cast<HMODULE>(platform.loadModule("hhctrl.ocx"));
  ASSERT_NE(ordinary, nullptr);
  EXPECT_EQ(directoryOf(ordinary), here);
  FreeLibrary(ordinary);

  const auto system = static_cast<HMODULE>(platform.loadSystemModule("hhctrl.ocx"));
  ASSERT_NE(system, nullptr);
  char systemDirectory[MAX_PATH];
  GetSystemDirectoryA(systemDirectory, MAX_PATH);
  EXPECT_EQ(lstrcmpiA(directoryOf(system).c_str(), systemDirectory), 0);
  EXPECT_NE(platform.findExport(system, 14), nullptr);
  FreeLibrary(system);
}

}  // namespace
}  // namespace tavisk
