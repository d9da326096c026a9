#include "batch.h"

#include <chrono>
#include <exception>
#include <mutex>
#include <new>
#include <thread>

#include "console.h"
#include "files.h"
#include "list.h"
#include "runner.h"

namespace korvale::batch {

using namespace engine;
namespace {

using Clock = std::chrono::steady_clock;

// The live line on a terminal's standard error, redrawn in place. The result lines may share
// that terminal: each is written only once the live line is cleared, or it would be glued to
// its end.
class ProgressLine {
 public:
  explicit ProgressLine(bool shown) : shown_(shown) {}

  void show(const std::string& text) {
    if (!shown_) return;
    std::lock_guard lock(mutex_);
    std::string line = "\r" + text;
    if (text.size() < width_) line.append(width_ - text.size(), ' ');
    width_ = text.size();
    writeError(line);
  }

  void clear() {
    std::lock_guard lock(mutex_);
    clearLocked();
  }

  // Writes result lines to a terminal, the live line cleared first; it comes back with the
  // next show().
  bool writeAround(std::string_view lines) {
    std::lock_guard lock(mutex_);
    clearLocked();
    return writeOutput(lines);
  }

 private:
  void clearLocked() {
    if (shown_ && width_ > 0) writeError("\r" + std::string(width_, ' ') + "\r");
    width_ = 0;
  }

  bool shown_;
  std::mutex mutex_;
  std::size_t width_ = 0;
};

// Reads the list and walks every entry; false when the reading failed or was stopped.
bool walkList(ByteSource& source, const Options& options, Folders& folders, const FileSink& take,
              bool& readFailed) {
  ListSplitter splitter(options.nulSeparated ? '\0' : '\n', listLinesMayEndWithCarriageReturn(),
                        longestPath());
  const EntrySink walkEntry = [&](std::string entry) {
    return walkPath(folders, pathFromListEntry(std::move(entry)), take);
  };
  std::vector<char> buffer(64 * 1024);
  for (;;) {
    const int64_t n = source.read(buffer);
    if (n < 0) {
      readFailed = true;
      return false;
    }
    if (n == 0) return splitter.finish(walkEntry);
    if (!splitter.feed({buffer.data(), static_cast<std::size_t>(n)}, walkEntry)) return false;
  }
}

// Files whose flushes wait on the disk side by side. One flush alone waits for a whole commit
// to the disk; many at once share commits, which is where set and reset spend their time.
// On 2 cores, 5,000 small files took 110 ms with 24 or 32 flushers, 190 with 8 and 150 with 64:
// beyond 32 the flushers' wake-ups take the processors from the workers.
constexpr unsigned kFlushers = 32;

double secondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

}  // namespace

int runBatch(const Options& options) {
  catchInterrupts();
  const Clock::time_point start = Clock::now();
  const std::string program(programName());
  std::unique_ptr<ByteSource> list;
  if (options.filesFrom) {
    std::string error;
    if (!(list = openList(*options.filesFrom, error))) {
      writeError(program + ": " + error + "\n");
      return 2;
    }
  }
  const std::unique_ptr<Folders> folders = systemFolders();
  const PathForm form = pathForm();

  ProgressLine progress(errorIsTerminal());
  const bool toTerminal = outputIsTerminal();
  OutputBuffer output(toTerminal ? OutputBuffer::Writer([&](std::string_view lines) {
                        return progress.writeAround(lines);
                      })
                                 : OutputBuffer::Writer(writeOutput),
                      toTerminal);
  Tally tally;
  std::string line;
  const bool writes = options.operation != Operation::kCheck;
  OrderedRunner runner(
      options.jobs, kReadChunk,
      [&](const WalkedFile& file, std::span<uint8_t> buffer) -> Worked {
        try {
          std::unique_ptr<PendingFlush> pending;
          Outcome outcome = runOperation(options.operation, file.path, buffer, nullptr,
                                         dataFileOpener(options.operation, file), &pending);
          return {std::move(outcome), std::move(pending)};
        } catch (const std::bad_alloc&) {  // this file could not be had; the others may
          return Outcome{.code = kCannotOpen, .crcText = std::string(kFailSafeCRC32)};
        }
      },
      [&](const std::string& path, const Outcome& outcome) {
        tally.count(outcome);
        if (options.quiet && outcome.code == kOk) return true;
        line.clear();
        if (options.json) {
          appendJsonLine(line, path, options.operation, outcome, form);
        } else {
          appendTextLine(line, path, outcome, form);
        }
        return output.append(line);
      },
      writes ? kFlushers : 0);

  bool listFailed = false;
  std::exception_ptr walkFailure;
  std::thread walker([&] {
    try {
      const FileSink take = [&](WalkedFile file) { return runner.add(std::move(file)); };
      bool going = true;
      for (const std::string& path : options.paths) {
        if (!(going = walkPath(*folders, path, take))) break;
      }
      if (going && list) walkList(*list, options, *folders, take, listFailed);
    } catch (...) {
      walkFailure = std::current_exception();
    }
    runner.close();
  });

  bool interrupted = false;
  const bool finished = runner.wait(
      [&] {
        if (!interrupted && interruptStatus() != 0) {
          interrupted = true;
          runner.finishTaken();
        }
        output.flush();
        Progress figures = runner.progress();
        figures.seconds = secondsSince(start);
        progress.show(progressText(figures));
      },
      std::chrono::milliseconds(100));
  interrupted = interrupted || interruptStatus() != 0;  // after the last tick: nothing was left
  walker.join();
  const bool written = output.flush() && finished;
  progress.clear();
  if (std::exception_ptr failure = runner.failure() ? runner.failure() : walkFailure) {
    std::rethrow_exception(failure);  // main says what it was
  }

  if (!written) writeError(program + ": cannot write standard output\n");
  if (listFailed) writeError(program + ": cannot read '" + *options.filesFrom + "'\n");
  if (interrupted) {
    writeError(program + ": stopped by " + std::string(interruptName()) +
               ": the files counted below were worked on, no other was opened\n");
  }
  writeError(summaryText(program, options.operation, tally, secondsSince(start)));
  if (interrupted) return interruptStatus();
  return written && !listFailed && tally.allOk() ? 0 : 1;
}

}  // namespace korvale::batch
