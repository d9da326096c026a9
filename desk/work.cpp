#include "work.h"

#include <new>
#include <utility>

namespace korvale::desk {

Job::Job(Operation operation, unsigned workers)
    : operation_(operation),
      folders_(engine::systemFolders()),
      open_(engine::dataFileOpener(operation)),
      openToCheck_(engine::dataFileOpener(Operation::kCheck)),
      runner_(
          workers, kReadChunk,
          [this](const engine::WalkedFile& file, std::span<uint8_t> buffer) {
            try {
              Outcome outcome = runOperation(operation_, file.path, buffer, nullptr, open_);
              if (operation_ == Operation::kCheck || outcome.code != kOk) return outcome;
              outcome = runOperation(Operation::kCheck, file.path, buffer, nullptr, openToCheck_);
              std::lock_guard lock(mutex_);
              checkedAfter_.insert(file.path);
              return outcome;
            } catch (const std::bad_alloc&) {  // this file could not be had; the others may
              return Outcome{.code = kCannotOpen, .crcText = std::string(kFailSafeCRC32)};
            }
          },
          [this](const std::string& path, const Outcome& outcome) {
            std::lock_guard lock(mutex_);
            Operation operation = operation_;
            if (const auto at = checkedAfter_.find(path); at != checkedAfter_.end()) {
              checkedAfter_.erase(at);
              operation = Operation::kCheck;
            }
            finished_.push_back({pendingRows_[delivered_++], {path, operation, outcome}});
            return true;
          }) {}

Job::~Job() {
  cancel();
  thread_.join();
}

std::unique_ptr<Job> Job::walk(std::vector<std::string> paths, unsigned workers) {
  std::unique_ptr<Job> job(new Job(Operation::kCheck, workers));
  std::vector<Target> targets;
  for (std::string& path : paths) targets.push_back({std::nullopt, std::move(path)});
  job->start(std::move(targets), true);
  return job;
}

std::unique_ptr<Job> Job::rework(Operation operation, std::vector<Target> targets,
                                 unsigned workers) {
  std::unique_ptr<Job> job(new Job(operation, workers));
  job->start(std::move(targets), false);
  return job;
}

void Job::start(std::vector<Target> targets, bool walk) {
  thread_ = std::thread([this, targets = std::move(targets), walk] {
    const auto add = [this](std::optional<std::size_t> row, engine::WalkedFile file) {
      {
        std::lock_guard lock(mutex_);
        pendingRows_.push_back(row);
      }
      if (runner_.add(std::move(file))) return true;
      std::lock_guard lock(mutex_);
      pendingRows_.pop_back();
      return false;
    };
    try {
      for (const Target& target : targets) {
        const bool going = walk ? engine::walkPath(*folders_, target.path,
                                                   [&](engine::WalkedFile file) {
                                                     return add(std::nullopt, std::move(file));
                                                   })
                                : add(target.row, {target.path, std::nullopt});
        if (!going) break;
      }
    } catch (const std::bad_alloc&) {  // the walk ends here; what it found is worked on
    }
    runner_.close();
    runner_.wait([] {}, std::chrono::milliseconds(100));
    done_ = true;
  });
}

std::vector<Finished> Job::take() {
  std::lock_guard lock(mutex_);
  return std::exchange(finished_, {});
}

engine::Progress Job::progress() const { return runner_.progress(); }

void Job::cancel() { runner_.finishTaken(); }

}  // namespace korvale::desk
