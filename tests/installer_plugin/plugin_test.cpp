// The four exports' work as the host sees it: what each pops and pushes, what reaches the
// platform, and how the plug-in stays loaded and gives a held lock back when the host ends.
#include "plugin.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "emulated_host.h"

namespace korvale::pelwick {
namespace {

using testing::EmulatedHost;
using testing::FakePlatform;

using Export = void (Plugin::*)();

struct Named {
  const char* name;
  Export call;
} const kExports[] = {
    {"getDriveType", &Plugin::getDriveType},
    {"isQuarnAppRunning", &Plugin::isQuarnAppRunning},
    {"lockApplication", &Plugin::lockApplication},
    {"unlockApplication", &Plugin::unlockApplication},
};

uintptr_t unusedCallback(pelwick_plugin_message) { return 0; }
int moduleMarker;

class PluginTest : public ::testing::Test {
 protected:
  // One export call as the host makes it: the argument on top of the stack.
  std::string call(Export exported, const std::string& argument) {
    host.push(argument);
    return callWithStackAsIs(exported);
  }
  std::string callWithStackAsIs(Export exported) {
    plugin.takeOver(host.stringSize, host.variables.data(), &host.top, nullptr);
    (plugin.*exported)();
    return host.contents().empty() ? "<empty>" : host.contents().front();
  }

  FakePlatform platform;
  EmulatedHost host{platform};
  Plugin plugin{platform, &moduleMarker, &unusedCallback};
};

TEST_F(PluginTest, EmptyStackPushesFalseAndAsksThePlatformNothing) {
  for (const Named& e : kExports) {
    SCOPED_TRACE(e.name);
    EXPECT_EQ(callWithStackAsIs(e.call), "false");
    EXPECT_EQ(host.pop(), "false");
    EXPECT_EQ(host.top, nullptr);
  }
  EXPECT_TRUE(platform.askedNothing());
  EXPECT_EQ(platform.errors, "");
}

TEST_F(PluginTest, EachExportReplacesItsArgumentByOneResult) {
  host.push("below");
  for (const Named& e : kExports) {
    SCOPED_TRACE(e.name);
    call(e.call, "C:\\");
    EXPECT_EQ(host.contents().size(), 2u);
    host.pop();
  }
  EXPECT_EQ(host.contents(), std::vector<std::string>{"below"});
  EXPECT_EQ(platform.blocks.size(), 1u) << "argument buffers and popped entries must be freed";
}

TEST_F(PluginTest, GetDriveTypePushesThePlatformsAnswerInDecimal) {
  for (unsigned answer : {0u, 1u, 3u, 6u, 4294967295u}) {
    platform.driveAnswer = answer;
    EXPECT_EQ(call(&Plugin::getDriveType, "C:\\"), std::to_string(answer));
    host.pop();
  }
  EXPECT_EQ(platform.drivePaths.back(), "C:\\");
}

TEST_F(PluginTest, ArgumentOfTheWholeStringSizeReachesThePlatformWhole) {
  const std::string longest(static_cast<std::size_t>(host.stringSize) - 1, 'n');
  call(&Plugin::lockApplication, longest);
  EXPECT_EQ(platform.sectionNames, std::vector<std::string>{longest});
}

TEST_F(PluginTest, NoBufferForTheArgumentConsumesItAndPushesFalse) {
  host.push("below");
  host.push("app");
  platform.refusedAllocations = 1;
  plugin.takeOver(host.stringSize, host.variables.data(), &host.top, nullptr);
  plugin.lockApplication();
  EXPECT_EQ(host.contents(), (std::vector<std::string>{"false", "below"}));
  EXPECT_TRUE(platform.askedNothing());
}

TEST_F(PluginTest, IsQuarnAppRunningAnswersFromTheCounter) {
  struct Case {
    int32_t counter;
    const char* pushed;
  } cases[] = {{0, "false"}, {1, "true"}, {3, "true"}, {-1, "true"}};
  for (const Case& c : cases) {
    platform.counters["app"] = c.counter;
    EXPECT_EQ(call(&Plugin::isQuarnAppRunning, "app"), c.pushed) << c.counter;
  }
  EXPECT_EQ(platform.errors, "");
}

TEST_F(PluginTest, IsQuarnAppRunningAssumesRunningWhenNothingCanBeRead) {
  platform.refuseViews = true;
  EXPECT_EQ(call(&Plugin::isQuarnAppRunning, "app"), "true");
  EXPECT_EQ(platform.errors, "Failed creating application lock.\n");
}

TEST_F(PluginTest, LockAndUnlockPushTrueOrFalse) {
  EXPECT_EQ(call(&Plugin::unlockApplication, "ignored"), "false");
  EXPECT_EQ(call(&Plugin::isQuarnAppRunning, "app"), "false");
  EXPECT_EQ(call(&Plugin::lockApplication, "app"), "true");
  EXPECT_EQ(call(&Plugin::lockApplication, "app"), "false");
  EXPECT_EQ(call(&Plugin::isQuarnAppRunning, "app"), "true");
  EXPECT_EQ(call(&Plugin::unlockApplication, "ignored"), "true");
  EXPECT_EQ(call(&Plugin::isQuarnAppRunning, "app"), "false");
  EXPECT_EQ(call(&Plugin::lockApplication, "app"), "false");
  EXPECT_EQ(call(&Plugin::unlockApplication, "ignored"), "false");
  EXPECT_EQ(platform.counters["app"], 0);
}

// The host's side of the callback registration.
struct Registrations {
  static inline std::vector<std::pair<void*, pelwick_plugin_callback>> made;
  static inline int answer = 0;
  static int PELWICK_HOST_CALL Register(void* module, pelwick_plugin_callback callback) {
    made.emplace_back(module, callback);
    return answer;
  }
};

class RegistrationTest : public PluginTest {
 protected:
  void SetUp() override {
    Registrations::made.clear();
    Registrations::answer = 0;
    extra.exec_flags = &flags;
    extra.RegisterPluginCallback = &Registrations::Register;
  }
  void callWith(pelwick_extra_parameters* parameters) {
    host.push("C:\\");
    plugin.takeOver(host.stringSize, host.variables.data(), &host.top, parameters);
    plugin.getDriveType();
    host.pop();
  }

  pelwick_exec_flags flags{};
  pelwick_extra_parameters extra{};
};

TEST_F(RegistrationTest, RegistersOnceWithHostsOfVersionOneOrLater) {
  struct Case {
    int version;
    std::size_t registrations;
  } cases[] = {{0, 0}, {0x0000FFFF, 0}, {0x00010000, 1}, {0x00020001, 1}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.version);
    Registrations::made.clear();
    Plugin fresh(platform, &moduleMarker, &unusedCallback);
    flags.plugin_api_version = c.version;
    for (int i = 0; i < 2; ++i) {
      host.push("C:\\");
      fresh.takeOver(host.stringSize, host.variables.data(), &host.top, &extra);
      fresh.getDriveType();
      host.pop();
    }
    ASSERT_EQ(Registrations::made.size(), c.registrations);
    if (c.registrations) {
      EXPECT_EQ(Registrations::made[0].first, &moduleMarker);
      EXPECT_EQ(Registrations::made[0].second, &unusedCallback);
    }
  }
}

TEST_F(RegistrationTest, HostWithoutExtrasOrRefusingIsAskedAgainLater) {
  callWith(nullptr);
  pelwick_extra_parameters noFlags{};
  noFlags.RegisterPluginCallback = &Registrations::Register;
  callWith(&noFlags);
  EXPECT_TRUE(Registrations::made.empty());

  flags.plugin_api_version = PELWICK_PLUGIN_API_1_0;
  Registrations::answer = -1;
  callWith(&extra);
  Registrations::answer = 1;  // registered by an earlier load: as good as done
  callWith(&extra);
  callWith(&extra);
  EXPECT_EQ(Registrations::made.size(), 2u);
}

TEST_F(PluginTest, HostUnloadGivesAHeldLockBack) {
  EXPECT_EQ(call(&Plugin::lockApplication, "app"), "true");
  EXPECT_EQ(plugin.onHostMessage(PELWICK_NSPIM_GUIUNLOAD), 0u);
  EXPECT_EQ(platform.counters["app"], 1);
  EXPECT_EQ(plugin.onHostMessage(PELWICK_NSPIM_UNLOAD), 0u);
  EXPECT_EQ(platform.counters["app"], 0);
  EXPECT_TRUE(platform.views.empty());
  EXPECT_EQ(platform.errors, "");
}

TEST_F(PluginTest, HostUnloadLeavesACounterThisProcessDidNotRaise) {
  const struct {
    const char* what;
    int32_t counter;
    std::vector<Export> calls;
    int32_t counterAfter;
  } cases[] = {
      {"no lock", 1, {}, 1},
      {"refused", 1, {&Plugin::lockApplication}, 1},
      {"released", 0, {&Plugin::lockApplication, &Plugin::unlockApplication}, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    FakePlatform own;
    EmulatedHost ownHost(own);
    Plugin fresh(own, &moduleMarker, &unusedCallback);
    own.counters["app"] = c.counter;
    for (Export exported : c.calls) {
      ownHost.push("app");
      fresh.takeOver(ownHost.stringSize, ownHost.variables.data(), &ownHost.top, nullptr);
      (fresh.*exported)();
      ownHost.pop();
    }
    own.errors.clear();
    fresh.onHostMessage(PELWICK_NSPIM_UNLOAD);
    EXPECT_EQ(own.counters["app"], c.counterAfter);
    EXPECT_EQ(own.errors, "") << "unloading must stay quiet";
  }
}

}  // namespace
}  // namespace korvale::pelwick
