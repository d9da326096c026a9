// The workers: one operation per path on a pool of threads, results handed over in the order
// the paths came in. Each result goes out as soon as those before it are out, so a slow file
// holds back only the lines after it, and only until it is done.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "file_operations.h"
#include "walk.h"

namespace korvale::engine {

// How far a run has come.
struct Progress {
  uint64_t filesDone = 0, bytesDone = 0;
  uint64_t filesKnown = 0;  // taken from the paths so far
  bool allKnown = false;    // the walk is over: filesKnown is the total
  double seconds = 0;
};

// What a worker gives for one path: its outcome and, for a set or reset that deferred it, the
// flush still to come (the outcome holds only once that succeeds).
struct Worked {
  Worked(Outcome outcome, std::unique_ptr<PendingFlush> pending = nullptr)
      : outcome(std::move(outcome)), pending(std::move(pending)) {}
  Outcome outcome;
  std::unique_ptr<PendingFlush> pending;
};

class OrderedRunner {
 public:
  // Works on one file with the calling worker's own buffer.
  using Work = std::function<Worked(const WalkedFile& file, std::span<uint8_t> buffer)>;
  // Receives the results in input order, one at a time; false stops the run.
  using Deliver = std::function<bool(const std::string& path, const Outcome& outcome)>;

  // `window` bounds the paths taken but not yet handed over (memory stays bounded however
  // long one file takes); add() waits while it is full. Flushes deferred by `work` run on
  // `flushers` threads of their own (at least one when `work` defers any), side by side: the
  // system then commits them together, where each alone would wait for the disk in turn.
  // Workers go on meanwhile, until 2 × flushers files (one more per worker) await their flush,
  // each open and held: that bounds the descriptors and memory they take.
  OrderedRunner(unsigned workers, std::size_t bufferSize, Work work, Deliver deliver,
                unsigned flushers = 0, std::size_t window = 1 << 16);
  ~OrderedRunner();
  OrderedRunner(const OrderedRunner&) = delete;
  OrderedRunner& operator=(const OrderedRunner&) = delete;

  // Queues a file; false once the run has stopped or takes no more files.
  bool add(WalkedFile file);
  // No more paths will come.
  void close();
  // Takes no more files (an interrupt): the files in hand are finished, and every file taken
  // so far is handed over; those queued but not yet taken are dropped, never worked on.
  void finishTaken();
  // Waits until every result is handed over, or the run stopped; calls `tick` every
  // `interval` meanwhile, on the calling thread. False when the run stopped.
  bool wait(const std::function<void()>& tick, std::chrono::milliseconds interval);
  Progress progress() const;  // its seconds left 0
  // What a worker threw, if one did (the run then stopped).
  std::exception_ptr failure() const;

 private:
  struct Slot {
    WalkedFile file;
    std::optional<Outcome> outcome;
    std::optional<Worked> unflushed;  // written, its flush to come
  };

  void workLoop(std::size_t bufferSize);
  void flushLoop();
  void finishLocked(Slot& slot, Outcome outcome, std::unique_lock<std::mutex>& lock);
  bool canTake() const;
  void handOverReady(std::unique_lock<std::mutex>& lock);
  void stopLocked();

  Work work_;
  Deliver deliver_;
  std::size_t window_;

  mutable std::mutex mutex_;
  std::condition_variable workReady_;  // workers: a path to take, or the end
  std::condition_variable roomReady_;  // add(): room in the window
  std::condition_variable allDone_;    // wait(): the end
  std::deque<Slot> slots_;  // slots_[i]: path number first_ + i; a deque keeps references valid
  uint64_t first_ = 0;      // the next to hand over
  uint64_t next_ = 0;       // the next to take
  std::vector<const WalkedFile*> active_;  // files being worked on or flushed: held
  std::deque<Slot*> toFlush_;
  std::size_t unflushed_ = 0;  // files written and not yet flushed
  std::size_t maxUnflushed_;
  uint64_t filesDone_ = 0, bytesDone_ = 0;
  bool closed_ = false, stopped_ = false, finishing_ = false;
  bool handingOver_ = false;          // a thread is handing results over:
  std::vector<const Slot*> handing_;  // these, kept from one round to the next
  bool workersGone_ = false;          // no flush will be deferred any more
  std::exception_ptr failure_;
  std::condition_variable flushReady_;  // flushers: a file to flush, or the end
  std::vector<std::thread> threads_;
  std::vector<std::thread> flushThreads_;
};

}  // namespace korvale::engine
