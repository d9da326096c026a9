// The window's work on the engine: paths walked as korvale-batch walks them, or rows already
// listed, worked on by the engine's workers on threads of their own. The window collects the
// results a few times a second; nothing here touches a window.
#pragma once

#include <atomic>
#include <cstddef>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <unordered_set>
#include <vector>

#include "files.h"
#include "results.h"
#include "runner.h"

namespace korvale::desk {

// A result and the row it belongs to: a stored index for a row worked on again, none for a
// file the walk found.
struct Finished {
  std::optional<std::size_t> row;
  Row result;
};

class Job {
 public:
  struct Target {
    std::optional<std::size_t> row;
    std::string path;
  };

  // Walks `paths` (files and folders) and checks every file found.
  static std::unique_ptr<Job> walk(std::vector<std::string> paths, unsigned workers);
  // Runs `operation` on these rows' paths as they are, no walk; a stamp or reset that succeeds
  // is followed by a check, whose outcome the row then shows.
  static std::unique_ptr<Job> rework(Operation operation, std::vector<Target> targets,
                                     unsigned workers);
  ~Job();
  Job(const Job&) = delete;
  Job& operator=(const Job&) = delete;

  // The results handed over since the last call, in input order.
  std::vector<Finished> take();
  engine::Progress progress() const;
  // No more files are taken; those in hand are finished and handed over.
  void cancel();
  bool done() const { return done_; }

 private:
  Job(Operation operation, unsigned workers);
  void start(std::vector<Target> targets, bool walk);

  Operation operation_;
  std::unique_ptr<engine::Folders> folders_;
  DataFileOpener open_, openToCheck_;
  std::mutex mutex_;
  std::vector<Finished> finished_;
  std::vector<std::optional<std::size_t>> pendingRows_;  // of the files added, in order
  std::size_t delivered_ = 0;
  std::unordered_multiset<std::string> checkedAfter_;  // paths whose outcome is a follow-up check
  engine::OrderedRunner runner_;
  std::atomic<bool> done_ = false;
  std::thread thread_;
};

}  // namespace korvale::desk
