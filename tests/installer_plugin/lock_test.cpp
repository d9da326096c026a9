// The application lock's states, results, messages and shared counter, against a fake platform
// whose sections are shared by every LockApp built on it, as processes share them.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "LockApp.h"
#include "emulated_host.h"

namespace korvale::pelwick {
namespace {

using testing::FakePlatform;
using testing::text;
using State = LockApp::State;

const std::string kAlreadyCreated = "Application already created.\n";
const std::string kCannotCreate = "Failed creating application lock.\n";
const std::string kMaximumReached = "Max applications already allocated.\n";
const std::string kNotAllocated = "No applications allocated.";

enum Call { kLock, kUnlock };

struct Step {
  Call call;
  int result;
};

struct Case {
  const char* what;
  int32_t counterBefore;  // as other processes left it
  std::vector<Step> steps;
  int32_t counterAfter;
  State state;
  std::string errors;
};

TEST(LockApp, StateTable) {
  const Case cases[] = {
      {"a free name is locked", 0, {{kLock, 0}}, 1, State::kHeld, ""},
      {"a second lock in the same process",
       0,
       {{kLock, 0}, {kLock, -1}},
       1,
       State::kHeld,
       kAlreadyCreated},
      {"lock, unlock, lock",
       0,
       {{kLock, 0}, {kUnlock, 0}, {kLock, -1}},
       0,
       State::kReleased,
       kAlreadyCreated},
      {"unlock without a lock leaves the counter",
       5,
       {{kUnlock, -4}},
       5,
       State::kNoLock,
       kNotAllocated},
      {"a counter at the maximum refuses", 1, {{kLock, -3}}, 1, State::kRefused, kMaximumReached},
      {"a counter above the maximum refuses",
       7,
       {{kLock, -3}},
       7,
       State::kRefused,
       kMaximumReached},
      {"a negative counter grants", -1, {{kLock, 0}}, 0, State::kHeld, ""},
      {"a refused process cannot lower the counter",
       1,
       {{kLock, -3}, {kUnlock, -4}},
       1,
       State::kRefused,
       kMaximumReached + kNotAllocated},
      {"a refused process stays refused",
       1,
       {{kLock, -3}, {kLock, -1}},
       1,
       State::kRefused,
       kMaximumReached + kAlreadyCreated},
      {"a released lock is not released twice",
       0,
       {{kLock, 0}, {kUnlock, 0}, {kUnlock, -4}},
       0,
       State::kReleased,
       kNotAllocated},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    FakePlatform platform;
    platform.counters["app"] = c.counterBefore;
    LockApp lock(platform);
    for (const Step& step : c.steps) {
      const int result =
          step.call == kLock ? lock.lockApp(text("app").c_str(), 1) : lock.unlockApp();
      EXPECT_EQ(result, step.result) << (step.call == kLock ? "lock" : "unlock");
    }
    EXPECT_EQ(platform.counters["app"], c.counterAfter);
    EXPECT_EQ(lock.state(), c.state);
    EXPECT_EQ(platform.errors, c.errors);
    // Only a held lock keeps a view; the section stays open once the slot is created.
    EXPECT_EQ(platform.views.size(),
              c.state == State::kHeld || c.state == State::kRefused ? 1u : 0u);
    EXPECT_EQ(platform.openSections.size(), c.state == State::kNoLock ? 0u : 1u);
  }
}

TEST(LockApp, NameReachesThePlatformAsGiven) {
  FakePlatform platform;
  LockApp lock(platform);
  lock.lockApp(text("Local\\Some App 1.0").c_str(), 1);
  EXPECT_EQ(platform.sectionNames, std::vector<std::string>{"Local\\Some App 1.0"});
}

TEST(LockApp, RefusedSectionOrViewLeavesNoLockAndALaterCallTriesAnew) {
  for (bool refuseView : {false, true}) {
    SCOPED_TRACE(refuseView ? "no view" : "no section");
    FakePlatform platform;
    LockApp lock(platform);
    platform.refuseSections = !refuseView;
    platform.refuseViews = refuseView;
    EXPECT_EQ(lock.lockApp(text("app").c_str(), 1), -2);
    EXPECT_EQ(lock.state(), State::kNoLock);
    EXPECT_EQ(platform.errors, kCannotCreate);
    EXPECT_TRUE(platform.openSections.empty());
    EXPECT_EQ(lock.unlockApp(), -4);

    platform.refuseSections = platform.refuseViews = false;
    EXPECT_EQ(lock.lockApp(text("app").c_str(), 1), 0);
    EXPECT_EQ(platform.counters["app"], 1);
  }
}

TEST(LockApp, TwoProcessesOnOneName) {
  FakePlatform platform;
  LockApp first(platform), second(platform), third(platform);
  EXPECT_EQ(first.lockApp(text("app").c_str(), 1), 0);
  EXPECT_EQ(second.lockApp(text("app").c_str(), 1), -3);
  EXPECT_EQ(first.unlockApp(), 0);
  EXPECT_EQ(third.lockApp(text("app").c_str(), 1), 0);
  EXPECT_EQ(platform.counters["app"], 1);
}

// Another process changes the counter between this process's read and its exchange: the
// exchange must notice, and the test against the maximum must be made again.
TEST(LockApp, ACounterChangedInBetweenIsTestedAgain) {
  struct Race {
    const char* what;
    Call call;
    int32_t counterBefore;
    int32_t changedTo;
    int result;
    int32_t counterAfter;
  } races[] = {
      {"raised to the maximum: refused", kLock, 0, 1, -3, 1},
      {"lowered: still granted", kLock, 0, -1, 0, 0},
      {"raised while releasing", kUnlock, 1, 2, 0, 1},
  };
  for (const Race& race : races) {
    SCOPED_TRACE(race.what);
    FakePlatform platform;
    platform.counters["app"] = race.counterBefore;
    LockApp lock(platform);
    if (race.call == kUnlock) {
      platform.counters["app"] = 0;
      ASSERT_EQ(lock.lockApp(text("app").c_str(), 1), 0);
      platform.counters["app"] = race.counterBefore;
    }
    int exchanges = 0;
    platform.beforeExchange = [&](int32_t& counter) {
      if (++exchanges == 2) counter = race.changedTo;  // after the first read
    };
    const int result = race.call == kLock ? lock.lockApp(text("app").c_str(), 1) : lock.unlockApp();
    EXPECT_EQ(result, race.result);
    EXPECT_EQ(platform.counters["app"], race.counterAfter);
  }
}

TEST(LockApp, InstancesInUseReadsTheCounterAndLeavesNothingOpen) {
  for (int32_t value : {0, 1, 2, -1}) {
    FakePlatform platform;
    platform.counters["app"] = value;
    LockApp lock(platform);
    EXPECT_EQ(lock.instancesInUse(text("app").c_str()), value);
    EXPECT_TRUE(platform.openSections.empty());
    EXPECT_TRUE(platform.views.empty());
    EXPECT_EQ(platform.errors, "");
  }
}

TEST(LockApp, InstancesInUseWithoutSectionOrViewReadsNothing) {
  for (bool refuseView : {false, true}) {
    SCOPED_TRACE(refuseView ? "no view" : "no section");
    FakePlatform platform;
    platform.refuseSections = !refuseView;
    platform.refuseViews = refuseView;
    LockApp lock(platform);
    EXPECT_EQ(lock.instancesInUse(text("app").c_str()), std::nullopt);
    EXPECT_EQ(platform.errors, kCannotCreate);
    EXPECT_TRUE(platform.openSections.empty());
  }
}

}  // namespace
}  // namespace korvale::pelwick
