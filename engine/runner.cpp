#include "runner.h"

#include <algorithm>
#include <memory>

namespace korvale::engine {

OrderedRunner::OrderedRunner(unsigned workers, std::size_t bufferSize, Work work, Deliver deliver,
                             unsigned flushers, std::size_t window)
    : work_(std::move(work)),
      deliver_(std::move(deliver)),
      window_(window),
      maxUnflushed_(2 * std::size_t{flushers}) {
  const auto failed = [this] {  // memory, most likely: the run cannot go on
    std::lock_guard lock(mutex_);
    if (!failure_) failure_ = std::current_exception();
    stopLocked();
  };
  threads_.reserve(workers);
  for (unsigned i = 0; i < workers; ++i) {
    threads_.emplace_back([=, this] {
      try {
        workLoop(bufferSize);
      } catch (...) {
        failed();
      }
    });
  }
  flushThreads_.reserve(flushers);
  for (unsigned i = 0; i < flushers; ++i) {
    // A written file is flushed whatever happens to the run: it goes on after a failure.
    flushThreads_.emplace_back([=, this] {
      for (;;) {
        try {
          return flushLoop();
        } catch (...) {
          failed();
        }
      }
    });
  }
}

OrderedRunner::~OrderedRunner() {
  {
    std::lock_guard lock(mutex_);
    closed_ = true;
    stopLocked();
  }
  for (std::thread& thread : threads_) thread.join();
  {
    std::lock_guard lock(mutex_);
    workersGone_ = true;
    flushReady_.notify_all();
  }
  for (std::thread& thread : flushThreads_) thread.join();
}

bool OrderedRunner::add(WalkedFile file) {
  std::unique_lock lock(mutex_);
  roomReady_.wait(lock, [this] { return stopped_ || finishing_ || slots_.size() < window_; });
  if (stopped_ || finishing_) return false;
  slots_.push_back({std::move(file), std::nullopt, std::nullopt});
  workReady_.notify_one();
  return true;
}

void OrderedRunner::close() {
  std::lock_guard lock(mutex_);
  closed_ = true;
  workReady_.notify_all();
  if (slots_.empty()) allDone_.notify_all();
}

void OrderedRunner::finishTaken() {
  std::lock_guard lock(mutex_);
  finishing_ = closed_ = true;
  slots_.resize(static_cast<std::size_t>(next_ - first_));
  workReady_.notify_all();
  roomReady_.notify_all();
  if (slots_.empty()) allDone_.notify_all();
}

bool OrderedRunner::wait(const std::function<void()>& tick, std::chrono::milliseconds interval) {
  std::unique_lock lock(mutex_);
  // A thread handing results over is let finish: they go out before this returns.
  while (handingOver_ || (!stopped_ && !(closed_ && slots_.empty()))) {
    if (allDone_.wait_for(lock, interval) == std::cv_status::timeout) {
      lock.unlock();
      tick();
      lock.lock();
    }
  }
  return !stopped_;
}

std::exception_ptr OrderedRunner::failure() const {
  std::lock_guard lock(mutex_);
  return failure_;
}

Progress OrderedRunner::progress() const {
  std::lock_guard lock(mutex_);
  return {filesDone_, bytesDone_, first_ + slots_.size(), closed_, 0};
}

// The next file may be taken when there is one and no worker has it in hand, by the same
// name or by another: a file reached twice is worked on twice, one time after the other, as
// with a single worker (side by side, one of them would find it held by the other).
bool OrderedRunner::canTake() const {
  if (next_ == first_ + slots_.size()) return false;
  const WalkedFile& file = slots_[next_ - first_].file;
  return std::none_of(active_.begin(), active_.end(), [&](const WalkedFile* other) {
    return other->path == file.path || (file.id && file.id == other->id);
  });
}

void OrderedRunner::workLoop(std::size_t bufferSize) {
  // On page boundaries, where the system copies out of its file cache fastest.
  const auto pages =
      std::make_unique_for_overwrite<Page[]>((bufferSize + sizeof(Page) - 1) / sizeof(Page));
  const std::span<uint8_t> buffer(reinterpret_cast<uint8_t*>(pages.get()), bufferSize);
  std::unique_lock lock(mutex_);
  for (;;) {
    // Each worker may add one file to those awaiting their flush: it takes the next file only
    // while they are fewer than the bound.
    const auto mayTake = [this] { return canTake() && unflushed_ <= maxUnflushed_; };
    workReady_.wait(lock, [&] {
      return stopped_ || mayTake() || (closed_ && next_ == first_ + slots_.size());
    });
    if (stopped_ || !mayTake()) return;
    Slot& slot = slots_[next_++ - first_];
    active_.push_back(&slot.file);
    lock.unlock();
    Worked worked = work_(slot.file, buffer);
    lock.lock();
    if (worked.pending) {  // still held: it stays active until flushed
      ++unflushed_;
      slot.unflushed.emplace(std::move(worked));
      toFlush_.push_back(&slot);
      flushReady_.notify_one();
    } else {
      finishLocked(slot, std::move(worked.outcome), lock);
    }
  }
}

// Flushers wait on the disk side by side; their results go out in input order all the same,
// since each slot is handed over only once it and those before it are done.
void OrderedRunner::flushLoop() {
  std::unique_lock lock(mutex_);
  for (;;) {
    flushReady_.wait(lock, [this] { return !toFlush_.empty() || workersGone_; });
    if (toFlush_.empty()) return;
    Slot& slot = *toFlush_.front();
    toFlush_.pop_front();
    lock.unlock();
    Worked& worked = *slot.unflushed;
    worked.pending->finish(worked.outcome);
    lock.lock();
    Outcome outcome = std::move(worked.outcome);
    slot.unflushed.reset();
    --unflushed_;
    workReady_.notify_one();  // room for another file to be written
    finishLocked(slot, std::move(outcome), lock);
  }
}

void OrderedRunner::finishLocked(Slot& slot, Outcome outcome, std::unique_lock<std::mutex>& lock) {
  active_.erase(std::find(active_.begin(), active_.end(), &slot.file));
  ++filesDone_;
  bytesDone_ += outcome.size;
  slot.outcome = std::move(outcome);
  // A path held back as a duplicate of this one may go now.
  if (canTake()) workReady_.notify_one();
  handOverReady(lock);
}

// One thread at a time hands results over, and does so outside the lock: the workers go on
// meanwhile instead of queueing behind the formatting and writing of lines. The slots handed
// over stay in place until then (a deque's elements stay where they are as others are added;
// only untaken slots are ever dropped, from the back).
void OrderedRunner::handOverReady(std::unique_lock<std::mutex>& lock) {
  if (handingOver_) return;  // that thread takes these too
  handingOver_ = true;
  std::vector<const Slot*>& ready = handing_;
  for (;;) {
    ready.clear();
    for (const Slot& slot : slots_) {
      if (!slot.outcome) break;
      ready.push_back(&slot);
    }
    if (ready.empty()) break;
    bool going = !stopped_;
    lock.unlock();
    for (const Slot* slot : ready) {
      if (!(going = going && deliver_(slot->file.path, *slot->outcome))) break;
    }
    lock.lock();
    if (!going) stopLocked();
    slots_.erase(slots_.begin(), slots_.begin() + static_cast<std::ptrdiff_t>(ready.size()));
    first_ += ready.size();
    roomReady_.notify_one();
  }
  handingOver_ = false;
  if (stopped_ || (closed_ && slots_.empty())) allDone_.notify_all();
}

void OrderedRunner::stopLocked() {
  stopped_ = true;
  workReady_.notify_all();
  roomReady_.notify_all();
  allDone_.notify_all();
}

}  // namespace korvale::engine
