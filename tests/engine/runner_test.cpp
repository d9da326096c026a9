// The workers: results in input order whatever the order of completion, a slow file holding
// back only the output, the same name never in two hands, and a stop when the output fails.
#include "runner.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <random>
#include <set>
#include <stdexcept>
#include <thread>

namespace korvale::engine {
namespace {

using namespace std::chrono_literals;

std::vector<std::string> numbered(int count) {
  std::vector<std::string> paths;
  for (int i = 0; i < count; ++i) paths.push_back("f" + std::to_string(i));
  return paths;
}

void runAll(OrderedRunner& runner, const std::vector<std::string>& paths) {
  for (const std::string& path : paths) ASSERT_TRUE(runner.add({path, std::nullopt}));
  runner.close();
  EXPECT_TRUE(runner.wait([] {}, 10ms));
}

TEST(Runner, InputOrderForEveryNumberOfWorkers) {
  const std::vector<std::string> paths = numbered(300);
  for (unsigned workers : {1u, 2u, 4u, 8u}) {
    std::vector<std::string> delivered;
    std::atomic<int> inHand = 0, mostInHand = 0;
    OrderedRunner runner(
        workers, 16,
        [&](const std::string& path, std::span<uint8_t> buffer) {
          EXPECT_EQ(buffer.size(), 16u);
          const int now = ++inHand;
          for (int seen = mostInHand; now > seen && !mostInHand.compare_exchange_weak(seen, now);) {
          }
          // Completion order scrambled: some files take much longer than others.
          std::minstd_rand random(static_cast<unsigned>(std::hash<std::string>{}(path)));
          std::this_thread::sleep_for(std::chrono::microseconds(random() % 5 == 0 ? 2000 : 50));
          --inHand;
          return Outcome{.code = 0, .crcText = path, .size = path.size()};
        },
        [&](const std::string& path, const Outcome& outcome) {
          EXPECT_EQ(outcome.crcText, path);
          delivered.push_back(path);
          return true;
        });
    runAll(runner, paths);
    EXPECT_EQ(delivered, paths) << workers << " workers";
    EXPECT_LE(mostInHand, static_cast<int>(workers));
    if (workers > 1) {
      EXPECT_GT(mostInHand, 1) << "the workers ran side by side";
    }
    const Progress progress = runner.progress();
    EXPECT_EQ(progress.filesDone, 300u);
    EXPECT_EQ(progress.filesKnown, 300u);
    EXPECT_TRUE(progress.allKnown);
  }
}

TEST(Runner, ASlowFileHoldsBackOnlyTheLinesAfterIt) {
  std::atomic<int> worked = 0;
  std::atomic<bool> release = false;
  std::vector<std::string> delivered;
  std::atomic<int> deliveredCount = 0;
  OrderedRunner runner(
      3, 16,
      [&](const std::string& path, std::span<uint8_t>) {
        if (path == "f2") {
          while (!release) std::this_thread::sleep_for(1ms);
        }
        ++worked;
        return Outcome{};
      },
      [&](const std::string& path, const Outcome&) {
        delivered.push_back(path);
        ++deliveredCount;
        return true;
      });
  for (const std::string& path : numbered(40)) ASSERT_TRUE(runner.add({path, std::nullopt}));
  runner.close();
  // Everything but f2 gets done while f2 is held; only f0 and f1 go out before it.
  while (worked < 39) std::this_thread::sleep_for(1ms);
  std::this_thread::sleep_for(20ms);
  EXPECT_EQ(deliveredCount, 2);
  release = true;
  EXPECT_TRUE(runner.wait([] {}, 10ms));
  EXPECT_EQ(delivered, numbered(40));
}

TEST(Runner, TheWindowBoundsWhatWaitsBehindASlowFile) {
  std::atomic<bool> release = false;
  std::atomic<int> worked = 0;
  OrderedRunner runner(
      2, 16,
      [&](const std::string& path, std::span<uint8_t>) {
        while (path == "f0" && !release) std::this_thread::sleep_for(1ms);
        ++worked;
        return Outcome{};
      },
      [](const std::string&, const Outcome&) { return true; }, 5);
  std::atomic<int> added = 0;
  std::thread producer([&] {
    for (const std::string& path : numbered(20)) {
      if (runner.add({path, std::nullopt})) ++added;
    }
    runner.close();
  });
  // However slow the machine: the window fills, and the workers do all but the slow file.
  while (added < 5 || worked < 4) std::this_thread::sleep_for(1ms);
  std::this_thread::sleep_for(50ms);  // without the bound, more paths would come meanwhile
  EXPECT_EQ(added, 5);
  EXPECT_EQ(worked, 4);
  release = true;
  EXPECT_TRUE(runner.wait([] {}, 10ms));
  producer.join();
  EXPECT_EQ(added, 20);
}

// By the same name, or by two names with one identity (a link): never in two hands at once.
TEST(Runner, TheSameFileIsNeverInTwoHands) {
  std::vector<WalkedFile> files;
  for (int i = 0; i < 90; ++i) {
    switch (i % 3) {
      case 0:
        files.push_back({"same", std::nullopt});
        break;
      case 1:
        files.push_back({"link" + std::to_string(i), FileId{1, 42}});
        break;
      default:
        files.push_back({"f" + std::to_string(i), FileId{1, static_cast<uint64_t>(i)}});
    }
  }
  std::mutex mutex;
  std::multiset<std::string> inHand;  // "same", "42" or a unique name
  bool overlapped = false;
  const auto key = [](const std::string& path) {
    return path.starts_with("link") ? std::string("42") : path;
  };
  std::vector<std::string> delivered;
  OrderedRunner runner(
      4, 16,
      [&](const std::string& path, std::span<uint8_t>) {
        {
          std::lock_guard lock(mutex);
          overlapped |= inHand.contains(key(path));
          inHand.insert(key(path));
        }
        std::this_thread::sleep_for(1ms);
        std::lock_guard lock(mutex);
        inHand.erase(inHand.find(key(path)));
        return Outcome{};
      },
      [&](const std::string& path, const Outcome&) {
        delivered.push_back(path);
        return true;
      });
  for (const WalkedFile& file : files) ASSERT_TRUE(runner.add(file));
  runner.close();
  EXPECT_TRUE(runner.wait([] {}, 10ms));
  EXPECT_FALSE(overlapped);
  ASSERT_EQ(delivered.size(), files.size());
  for (std::size_t i = 0; i < files.size(); ++i) EXPECT_EQ(delivered[i], files[i].path);
}

TEST(Runner, AFailedDeliveryStopsTheRun) {
  std::atomic<int> worked = 0;
  int delivered = 0;
  OrderedRunner runner(
      2, 16,
      [&](const std::string&, std::span<uint8_t>) {
        ++worked;
        std::this_thread::sleep_for(1ms);
        return Outcome{};
      },
      [&](const std::string&, const Outcome&) { return ++delivered < 3; });
  for (const std::string& path : numbered(1000)) {
    if (!runner.add({path, std::nullopt})) break;  // refused once the run has stopped
  }
  runner.close();
  EXPECT_FALSE(runner.wait([] {}, 10ms));
  EXPECT_EQ(delivered, 3);
  EXPECT_FALSE(runner.add({"late", std::nullopt}));
  EXPECT_FALSE(runner.failure());
  // The workers stopped soon after the failure.
  EXPECT_LT(worked, 1000);
}

TEST(Runner, AWorkerThatThrowsStopsTheRunAndSaysWhat) {
  OrderedRunner runner(
      2, 16,
      [](const std::string& path, std::span<uint8_t>) {
        if (path == "f5") throw std::runtime_error("no memory left");
        return Outcome{};
      },
      [](const std::string&, const Outcome&) { return true; });
  for (const std::string& path : numbered(10)) runner.add({path, std::nullopt});
  runner.close();
  EXPECT_FALSE(runner.wait([] {}, 10ms));
  ASSERT_TRUE(runner.failure());
  EXPECT_THROW(std::rethrow_exception(runner.failure()), std::runtime_error);
}

TEST(Runner, TicksWhileWaiting) {
  std::atomic<bool> release = false;
  OrderedRunner runner(
      1, 16,
      [&](const std::string&, std::span<uint8_t>) {
        while (!release) std::this_thread::sleep_for(1ms);
        return Outcome{};
      },
      [](const std::string&, const Outcome&) { return true; });
  ASSERT_TRUE(runner.add({"slow", std::nullopt}));
  runner.close();
  int ticks = 0;
  EXPECT_TRUE(runner.wait(
      [&] {
        if (++ticks == 3) release = true;
      },
      5ms));
  EXPECT_GE(ticks, 3);
}

}  // namespace
}  // namespace korvale::engine
