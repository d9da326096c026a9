// The workers: results in input order whatever the order of completion, a slow file holding
// back only the output, the same name never in two hands, and a stop when the output fails.
#include "runner.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <map>
#include <mutex>
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
        [&](const WalkedFile& file, std::span<uint8_t> buffer) {
          EXPECT_EQ(buffer.size(), 16u);
          const int now = ++inHand;
          for (int seen = mostInHand; now > seen && !mostInHand.compare_exchange_weak(seen, now);) {
          }
          // Completion order scrambled: some files take much longer than others.
          std::minstd_rand random(static_cast<unsigned>(std::hash<std::string>{}(file.path)));
          std::this_thread::sleep_for(std::chrono::microseconds(random() % 5 == 0 ? 2000 : 50));
          --inHand;
          return Outcome{.code = 0, .crcText = file.path, .size = file.path.size()};
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
      [&](const WalkedFile& file, std::span<uint8_t>) {
        if (file.path == "f2") {
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
      [&](const WalkedFile& file, std::span<uint8_t>) {
        while (file.path == "f0" && !release) std::this_thread::sleep_for(1ms);
        ++worked;
        return Outcome{};
      },
      [](const std::string&, const Outcome&) { return true; }, 0, 5);
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
      [&](const WalkedFile& file, std::span<uint8_t>) {
        {
          std::lock_guard lock(mutex);
          overlapped |= inHand.contains(key(file.path));
          inHand.insert(key(file.path));
        }
        std::this_thread::sleep_for(1ms);
        std::lock_guard lock(mutex);
        inHand.erase(inHand.find(key(file.path)));
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
      [&](const WalkedFile&, std::span<uint8_t>) {
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
      [](const WalkedFile& file, std::span<uint8_t>) {
        if (file.path == "f5") throw std::runtime_error("no memory left");
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
      [&](const WalkedFile&, std::span<uint8_t>) {
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

// Data files held in memory for deferred flushes: what each holds, what of it reached the disk
// (its content at its last successful flush), and whether it is still open.
struct MemoryFiles {
  struct State {
    std::string content, durable;
    bool open = false;
    int failFlushes = 0;  // the first this many flushes fail
  };
  static inline std::mutex mutex;
  static inline std::map<std::string, State> files;
  static inline int open = 0, mostOpen = 0, flushing = 0, mostFlushing = 0;

  struct File final : DataFile {
    explicit File(State& state) : state(state) {}
    ~File() override {
      std::lock_guard lock(mutex);
      state.open = false;
      --open;
    }
    std::optional<FileStamp> stamp() override {
      std::lock_guard lock(mutex);
      return FileStamp{state.content.size(), 0, 0};
    }
    int64_t readAt(uint64_t offset, std::span<uint8_t> buffer) override {
      std::lock_guard lock(mutex);
      const std::string_view rest = std::string_view(state.content).substr(offset);
      const std::size_t n = std::min(rest.size(), buffer.size());
      std::copy_n(rest.begin(), n, buffer.begin());
      return static_cast<int64_t>(n);
    }
    int64_t writeAt(uint64_t offset, std::span<const uint8_t> data) override {
      std::lock_guard lock(mutex);
      std::copy(data.begin(), data.end(),
                state.content.begin() + static_cast<std::ptrdiff_t>(offset));
      return static_cast<int64_t>(data.size());
    }
    bool flush() override {
      {
        std::lock_guard lock(mutex);
        mostFlushing = std::max(mostFlushing, ++flushing);
      }
      std::this_thread::sleep_for(2ms);  // the disk
      std::lock_guard lock(mutex);
      --flushing;
      if (state.failFlushes > 0 && state.failFlushes-- > 0) return false;
      state.durable = state.content;
      return true;
    }
    State& state;
  };

  static std::unique_ptr<DataFile> openFile(const std::string& name) {
    std::lock_guard lock(mutex);
    State& state = files.at(name);
    if (state.open) return nullptr;  // held: the lock of a real file
    state.open = true;
    mostOpen = std::max(mostOpen, ++open);
    return std::make_unique<File>(state);
  }
};

// Set and reset leave their flushes to the runner's flushers: the flushes overlap, a file stays
// held until its flush is done, each line goes out (in input order) only once that file is on
// the disk, and a failed flush gives 21 for that file alone, its digits back as they were.
TEST(Runner, DeferredFlushesOverlapAndEachLineWaitsForItsOwn) {
  const std::string plain = std::string(50, ' ') + R"(crc32="0x00000000")" + std::string(300, 'x');
  const std::vector<std::string> paths = numbered(200);
  for (const Operation operation : {Operation::kSet, Operation::kReset}) {
    const std::string before =
        operation == Operation::kSet ? plain : std::string(plain).replace(59, 8, "12345678");
    MemoryFiles::files.clear();
    for (const std::string& path : paths) MemoryFiles::files[path] = {before, before};
    MemoryFiles::files["f7"].failFlushes = 1;  // the restore's flush goes through
    MemoryFiles::mostOpen = MemoryFiles::mostFlushing = 0;
    std::vector<std::string> delivered;
    constexpr unsigned kWorkers = 2, kFlushers = 8;
    OrderedRunner runner(
        kWorkers, 16,
        [&](const WalkedFile& file, std::span<uint8_t> buffer) -> Worked {
          std::unique_ptr<PendingFlush> pending;
          Outcome outcome =
              runOperation(operation, file.path, buffer, nullptr, MemoryFiles::openFile, &pending);
          return {std::move(outcome), std::move(pending)};
        },
        [&](const std::string& path, const Outcome& outcome) {
          std::lock_guard lock(MemoryFiles::mutex);
          const MemoryFiles::State& file = MemoryFiles::files.at(path);
          EXPECT_FALSE(file.open) << path;
          EXPECT_EQ(file.durable, file.content) << path;
          EXPECT_EQ(outcome.code, path == "f7" ? kCannotOpen : kOk) << path;
          EXPECT_EQ(file.content == before, path == "f7") << path;
          if (operation == Operation::kSet) {  // a reset's CRC text is that anyway
            EXPECT_EQ(outcome.crcText == "0x00000000", path == "f7") << path;
          }
          delivered.push_back(path);
          return true;
        },
        kFlushers);
    runAll(runner, paths);
    EXPECT_EQ(delivered, paths);
    EXPECT_GT(MemoryFiles::mostFlushing, 1);
    EXPECT_LE(MemoryFiles::mostOpen, static_cast<int>(2 * kFlushers + kWorkers));
  }
}

}  // namespace
}  // namespace korvale::engine
