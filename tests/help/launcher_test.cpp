// The loader of the help launcher against a scripted platform: where it finds the control,
// what it caches, how it fails, and what the exports hand to the viewer.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "fake_viewer_platform.h"
#include "help_launcher.h"

namespace tavisk {
namespace {

using Log = std::vector<std::string>;

constexpr uint32_t kText = 1;    // REG_SZ
constexpr uint32_t kBinary = 3;  // REG_BINARY
const std::string kZero(1, '\0');

// One call that goes all the way to the viewer after loading `module`.
Log loadsAndViews(Log steps, const std::string& module) {
  steps.insert(steps.begin(), "desktop");
  steps.push_back("find 14 in " + module);
  steps.push_back("view");
  return steps;
}

TEST(HelpLauncher, FindsLoadsAndCachesTheControl) {
  const std::string fallback = "system hhctrl.ocx";
  const std::string missing = "D:\\gone\\hhctrl.ocx";
  // 259 characters: the longest path a 260-byte buffer holds.
  const std::string longest = "C:\\" + std::string(256, 'a');
  // %SystemRoot% expanding to a root that makes the path exactly 259 or 260 characters.
  const std::string tail = "\\System32\\hhctrl.ocx";
  const std::string fittingRoot(259 - tail.size(), 'r');
  const std::string expandable = "%SystemRoot%" + tail;

  struct Case {
    const char* name;
    std::function<void(FakeViewerPlatform&)> setup;
    Log first;  // the first call; it returns a window only if it reaches the viewer
    Log later;  // the second and third calls
  } cases[] = {
      {"no registry key",
       [](auto&) {},
       loadsAndViews({"open", "load system hhctrl.ocx"}, fallback),
       {"desktop", "view"}},
      {"REG_SZ",
       [&](auto& p) {
         p.registered = {{kText, kRegisteredPath + kZero}};
       },
       loadsAndViews({"open", "read", "close", "load " + kRegisteredPath}, kRegisteredPath),
       {"desktop", "view"}},
      {"other type read as text",
       [&](auto& p) {
         p.registered = {{kBinary, kRegisteredPath + kZero + "junk"}};
       },
       loadsAndViews({"open", "read", "close", "load " + kRegisteredPath}, kRegisteredPath),
       {"desktop", "view"}},
      {"REG_EXPAND_SZ",
       [&](auto& p) {
         p.registered = {{kExpandableText, expandable + kZero}};
       },
       loadsAndViews({"open", "read", "expand " + expandable, "close", "load " + kRegisteredPath},
                     kRegisteredPath),
       {"desktop", "view"}},
      {"expansion of exactly 260 bytes",
       [&](auto& p) {
         p.registered = {{kExpandableText, expandable + kZero}};
         p.systemRoot = fittingRoot;
         p.loadable = {fittingRoot + tail};
       },
       loadsAndViews(
           {"open", "read", "expand " + expandable, "close", "load " + fittingRoot + tail},
           fittingRoot + tail),
       {"desktop", "view"}},
      {"expansion longer than 260 bytes",
       [&](auto& p) {
         p.registered = {{kExpandableText, expandable + kZero}};
         p.systemRoot = fittingRoot + "r";
       },
       loadsAndViews({"open", "read", "expand " + expandable, "close", "load system hhctrl.ocx"},
                     fallback),
       {"desktop", "view"}},
      {"expansion fails",
       [&](auto& p) {
         p.registered = {{kExpandableText, expandable + kZero}};
         p.expansionFails = true;
       },
       loadsAndViews({"open", "read", "expand " + expandable, "close", "load system hhctrl.ocx"},
                     fallback),
       {"desktop", "view"}},
      {"260 bytes without a zero are cut to 259",
       [&](auto& p) {
         p.registered = {{kText, longest + "b"}};
         p.loadable = {longest};
       },
       loadsAndViews({"open", "read", "close", "load " + longest}, longest),
       {"desktop", "view"}},
      {"shorter value without a zero ends with its data",
       [&](auto& p) {
         p.registered = {{kText, kRegisteredPath}};
       },
       loadsAndViews({"open", "read", "close", "load " + kRegisteredPath}, kRegisteredPath),
       {"desktop", "view"}},
      {"value larger than the buffer",
       [&](auto& p) {
         p.registered = {{kText, longest + "bc"}};
       },
       loadsAndViews({"open", "read", "close", "load system hhctrl.ocx"}, fallback),
       {"desktop", "view"}},
      {"registered path not loadable",
       [&](auto& p) {
         p.registered = {{kText, missing + kZero}};
       },
       loadsAndViews({"open", "read", "close", "load " + missing, "load system hhctrl.ocx"},
                     fallback),
       {"desktop", "view"}},
      {"both loads fail: later calls touch nothing",
       [&](auto& p) {
         p.registered = {{kText, missing + kZero}};
         p.systemViewerPresent = false;
       },
       {"desktop", "open", "read", "close", "load " + missing, "load system hhctrl.ocx"},
       {"desktop"}},
      {"no ordinal 14: later calls retry only the look-up",
       [](auto& p) { p.hasEntry = false; },
       {"desktop", "open", "load system hhctrl.ocx", "find 14 in " + fallback},
       {"desktop", "find 14 in " + fallback}},
  };

  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeViewerPlatform platform;
    ViewerCache cache;
    c.setup(platform);
    for (const Log* expected : {&c.first, &c.later, &c.later}) {
      platform.log.clear();
      platform.lastResult = nullptr;
      const WindowHandle result = launchHelp(platform, cache, "help.chm");
      EXPECT_EQ(platform.log, *expected);
      EXPECT_EQ(result, platform.lastResult);
      EXPECT_EQ(result != nullptr, expected->back() == "view");
    }
  }
}

TEST(HelpLauncher, AnEntryPointFoundLaterMakesTheLauncherReady) {
  FakeViewerPlatform platform;
  ViewerCache cache;
  platform.hasEntry = false;
  EXPECT_EQ(launchHelp(platform, cache, "help.chm"), nullptr);

  platform.hasEntry = true;
  platform.log.clear();
  EXPECT_NE(launchHelp(platform, cache, "help.chm"), nullptr);
  EXPECT_EQ(platform.log, (Log{"desktop", "find 14 in system hhctrl.ocx", "view"}));

  platform.log.clear();
  EXPECT_NE(launchHelp(platform, cache, "help.chm"), nullptr);
  EXPECT_EQ(platform.log, (Log{"desktop", "view"}));
}

TEST(HelpLauncher, ExportsForwardOwnerFileCommandAndDataBitForBit) {
  FakeViewerPlatform platform;
  ViewerCache cache;
  const char empty[] = "";
  const char* const files[] = {nullptr, empty, "C:\\help\\manual.chm"};
  const uint32_t topics[] = {0, 1, 0x7FFFFFFF, 0x80000000, 0xFFFFFFFF};

  for (const char* file : files) {
    SCOPED_TRACE(file ? file : "(null)");
    const WindowHandle shown = launchHelp(platform, cache, file);
    EXPECT_EQ(shown, platform.lastResult);
    EXPECT_EQ(platform.lastView.owner, platform.lastDesktop);
    EXPECT_EQ(platform.lastView.helpFile, file);
    EXPECT_EQ(platform.lastView.command, 0u);
    EXPECT_EQ(platform.lastView.data, 0u);

    for (const uint32_t topic : topics) {
      SCOPED_TRACE(topic);
      const WindowHandle atTopic = launchHelpByTopicID(platform, cache, file, topic);
      EXPECT_EQ(atTopic, platform.lastResult);
      EXPECT_EQ(platform.lastView.owner, platform.lastDesktop);
      EXPECT_EQ(platform.lastView.helpFile, file);
      EXPECT_EQ(platform.lastView.command, 15u);
      EXPECT_EQ(platform.lastView.data, uintptr_t{topic});  // zero-extended, never sign-extended
    }
  }
}

}  // namespace
}  // namespace tavisk
