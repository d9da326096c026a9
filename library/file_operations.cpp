// The three file operations. The file is read in large chunks but fed to the sink in the
// 252-byte blocks that callers see, so progress looks the same whatever the chunk size.
#include "file_operations.h"

#include <algorithm>
#include <array>
#include <limits>
#include <memory>
#include <new>

namespace korvale {
namespace {

constexpr std::size_t kBlock = kHeadBlockSize;

// Drives an optional sink, skipping the callbacks it leaves NULL. Sizes beyond int32_t are
// reported in units of 2^shift bytes.
class SinkDriver {
 public:
  SinkDriver(const ProgressSink* sink, uint64_t size) : sink_(sink) {
    while ((size >> shift_) > static_cast<uint64_t>(std::numeric_limits<int32_t>::max())) ++shift_;
    if (!sink_) return;
    if (sink_->setMinimum) sink_->setMinimum(sink_->context, 0);
    if (sink_->setMaximum) sink_->setMaximum(sink_->context, static_cast<int32_t>(size >> shift_));
    setPosition(0);
  }

  // One block of `count` bytes was read after the head block.
  void advance(uint64_t count) {
    const uint64_t before = consumed_ >> shift_;
    consumed_ += count;
    if (!sink_) return;
    // Without getPosition the bar is taken to show what it was last given.
    const int64_t from = sink_->getPosition ? sink_->getPosition(sink_->context) : position_;
    const int64_t position = from + static_cast<int64_t>((consumed_ >> shift_) - before);
    setPosition(static_cast<int32_t>(std::clamp<int64_t>(
        position, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max())));
  }

  // Reports the blocks of a chunk of `count` bytes, as 252-byte reads would have seen them.
  void advanceChunk(uint64_t count) {
    if (!sink_) return;
    for (; count >= kBlock; count -= kBlock) advance(kBlock);
    if (count > 0) advance(count);
  }

  void finish() {
    if (sink_) setPosition(0);
  }

 private:
  void setPosition(int32_t position) {
    position_ = position;
    if (sink_->setPosition) sink_->setPosition(sink_->context, position);
  }

  const ProgressSink* sink_;
  int shift_ = 0;
  uint64_t consumed_ = 0;
  int32_t position_ = 0;  // the last position given
};

static_assert(kReadChunk % sizeof(Page) == 0 && kReadChunk % kBlock == 0);

struct HeldFile {
  std::unique_ptr<DataFile> file;
  FileStamp stamp;
};

// Opens the file for the whole operation: 21 when it cannot be had, 22 when it is too short.
int32_t preCheckFile(std::string_view name, DataFileOpener open, HeldFile& held) {
  // A name with a zero byte would silently open a different, shorter name; an empty one
  // names no file (it stands for a missing name at the exports).
  if (name.empty() || name.find('\0') != std::string_view::npos) return kCannotOpen;
  held.file = open(std::string(name));
  if (!held.file) return kCannotOpen;
  std::optional<FileStamp> stamp = held.file->stamp();
  if (!stamp) return kCannotOpen;
  held.stamp = *stamp;
  return stamp->size < kHeadBlockSize ? kTooShort : kOk;
}

// One read of the whole file. Its first read takes the head block and as much after it as the
// buffer holds, so a small file is read by a single system call; the CRC then continues from
// what that read brought. Every read starts on a multiple of the buffer's size, so a page-aligned
// buffer of kReadChunk bytes takes every read between page boundaries of the file and of memory,
// which the system copies out of its file cache fastest.
class FilePass {
 public:
  // An empty buffer, or one below a block, makes the pass allocate its own. That buffer only
  // saves time: without memory for it the pass reads a few blocks at a time into the stack.
  FilePass(HeldFile& held, std::span<uint8_t> buffer) : held_(held) {
    if (buffer.size() < kBlock) {
      owned_.reset(new (std::nothrow) Page[kReadChunk / sizeof(Page)]);
      buffer = owned_ ? std::span(reinterpret_cast<uint8_t*>(owned_.get()), kReadChunk)
                      : std::span(small_);
    }
    // Whole blocks, so no block straddles two reads.
    buffer_ = buffer.first(buffer.size() - buffer.size() % kBlock);
  }

  // Gives the head block as read, or 21 when it cannot be read whole.
  int32_t readHead(HeadBlock& head) {
    const int64_t n = readFully(*held_.file, 0, chunkAt(0));
    if (n < static_cast<int64_t>(kBlock)) return kCannotOpen;
    firstRead_ = static_cast<std::size_t>(n);
    std::copy_n(buffer_.begin(), kBlock, head.begin());
    return kOk;
  }

  // The CRC of the whole file, with the field's digits read as '0', after readHead. Gives 11
  // or 13 from the field (the pass still runs, driving the sink), or 21 when a read fails or
  // the file changed during the pass. The pass reads up to the size the file had when opened:
  // a file that grew or shrank since shows in its stamp, without a read at the end.
  int32_t calcCRC32(const HeadBlock& head, const ProgressSink* sink, std::string& crcText) {
    crcText = kFailSafeCRC32;
    ContentCrc engine(head);
    SinkDriver progress(sink, held_.stamp.size);
    engine.update(buffer_.subspan(kBlock, firstRead_ - kBlock));
    progress.advanceChunk(firstRead_ - kBlock);
    uint64_t offset = firstRead_;
    bool shrank = firstRead_ < chunkAt(0).size();
    while (!shrank && offset < held_.stamp.size) {
      const std::span<uint8_t> chunk = chunkAt(offset);
      const int64_t n = readFully(*held_.file, offset, chunk);
      if (n < 0) {
        progress.finish();
        return kCannotOpen;
      }
      engine.update(chunk.first(static_cast<std::size_t>(n)));
      progress.advanceChunk(static_cast<uint64_t>(n));
      offset += static_cast<uint64_t>(n);
      shrank = static_cast<std::size_t>(n) < chunk.size();
    }
    // Block-wise reading ends with a read of 0 bytes when the rest divides into full blocks.
    if ((offset - kBlock) % kBlock == 0) progress.advance(0);
    progress.finish();

    std::optional<FileStamp> after = held_.file->stamp();
    if (!after || *after != held_.stamp || offset != held_.stamp.size) return kCannotOpen;
    crcText = engine.text();
    return engine.fieldCode();
  }

 private:
  // The part of the buffer that a read at `offset` fills: up to the size seen at opening.
  std::span<uint8_t> chunkAt(uint64_t offset) const {
    return buffer_.first(
        static_cast<std::size_t>(std::min<uint64_t>(buffer_.size(), held_.stamp.size - offset)));
  }

  HeldFile& held_;
  std::unique_ptr<Page[]> owned_;
  std::array<uint8_t, kFallbackChunk> small_;
  std::span<uint8_t> buffer_;
  std::size_t firstRead_ = 0;
};

// The stored text of the field, or nothing when the head holds no field.
std::string storedText(const HeadBlock& head) {
  std::string stored;
  return readCRC32inHead(head, stored) == kOk ? stored : std::string();
}

int32_t checkHeldFile(HeldFile& held, std::span<uint8_t> buffer, const ProgressSink* sink,
                      Outcome& outcome) {
  FilePass pass(held, buffer);
  HeadBlock head;
  std::string stored, computed;
  int32_t code;
  if ((code = pass.readHead(head)) != kOk) return code;
  if ((code = readCRC32inHead(head, stored)) != kOk) return code;
  outcome.stored = stored;
  if ((code = pass.calcCRC32(head, sink, computed)) != kOk) return code;
  outcome.computed = computed;
  if ((code = stampVerdict(stored, computed)) != kOk) return code;
  outcome.crcText = computed;
  return kOk;
}

// Writes the digits of `crcText`, and flushes them unless `deferred` takes the flush.
int32_t writeHeldFile(HeldFile& held, std::string_view crcText,
                      std::unique_ptr<PendingFlush>* deferred) {
  if (!deferred) return writeCRC32inFile(*held.file, crcText, held.stamp.size);
  WrittenDigits written;
  const int32_t code = writeCRC32Unflushed(*held.file, crcText, held.stamp.size, written);
  if (code != kOk) return code;
  // The digits are out: without memory to defer their flush, it happens here (the file moves
  // only into an object that could be had).
  deferred->reset(new (std::nothrow) PendingFlush(std::move(held.file), written));
  return *deferred ? kOk : flushCRC32(*held.file, written);
}

int32_t setHeldFile(HeldFile& held, std::span<uint8_t> buffer, const ProgressSink* sink,
                    std::unique_ptr<PendingFlush>* deferred, Outcome& outcome) {
  FilePass pass(held, buffer);
  HeadBlock head;
  int32_t code = pass.readHead(head);
  if (code == kOk) {
    outcome.stored = storedText(head);
    code = pass.calcCRC32(head, sink, outcome.crcText);
  }
  if (code == kOk) {
    outcome.computed = outcome.crcText;
    code = writeHeldFile(held, outcome.crcText, deferred);
  }
  if (code != kOk) outcome.crcText = kFailSafeCRC32;
  return code;
}

// Runs the steps of one operation into `info`. An exception from inside (memory that cannot
// be had, or a progress callback that throws) ends it as 21 with the fail-safe CRC text.
template <typename Steps>
int32_t recorded(OperationInfo& info, std::string_view command, std::string_view name,
                 std::string_view crcText, Steps steps) noexcept {
  // The command words and the CRC texts, ten characters at most, fit the inline buffer of
  // every std::string (15 characters or more), so storing them never allocates: only the
  // name can fail to be stored, and the command then stands alone.
  try {
    info.commandText.assign(command);
    info.crcText.assign(crcText);
    info.errorCode = kOk;
    info.commandText.append(lastCharacters(name, 60));
    return info.errorCode = steps();
  } catch (...) {
    info.crcText.assign(kFailSafeCRC32);
    return info.errorCode = kCannotOpen;
  }
}

// The steps of an operation for the record: the reentrant operation, its CRC text kept.
int32_t into(std::string& crcText, Outcome outcome) noexcept {
  crcText.swap(outcome.crcText);
  return outcome.code;
}

}  // namespace

void PendingFlush::finish(Outcome& outcome) noexcept {
  if (flushCRC32(*file_, written_) != kOk) {
    outcome.code = kCannotOpen;
    outcome.crcText.assign(kFailSafeCRC32);  // fits the inline buffer: cannot throw
  }
  file_.reset();
}

Outcome runOperation(Operation operation, std::string_view name, std::span<uint8_t> buffer,
                     const ProgressSink* sink, DataFileOpener open,
                     std::unique_ptr<PendingFlush>* deferred) noexcept {
  Outcome outcome;
  try {
    outcome.crcText = unreadCrcText(operation);
    HeldFile held;
    outcome.code = preCheckFile(name, open, held);
    if (held.file) outcome.size = held.stamp.size;
    if (outcome.code != kOk) return outcome;
    switch (operation) {
      case Operation::kCheck:
        outcome.code = checkHeldFile(held, buffer, sink, outcome);
        break;
      case Operation::kSet:
        outcome.code = setHeldFile(held, buffer, sink, deferred, outcome);
        break;
      case Operation::kReset:
        outcome.code = writeHeldFile(held, kFailSafeCRC32, deferred);
        break;
    }
  } catch (...) {  // the file is left as it was: only a completed write changes it
    outcome.code = kCannotOpen;
    outcome.crcText.assign(kFailSafeCRC32);  // fits the inline buffer: cannot throw
  }
  return outcome;
}

int32_t checkCRC32inFile(OperationInfo& info, std::string_view name, const ProgressSink* sink,
                         DataFileOpener open) noexcept {
  return recorded(info, "CHECK ...", name, kFailSafeCRC32, [&] {
    return into(info.crcText, runOperation(Operation::kCheck, name, {}, sink, open));
  });
}

int32_t setCRC32inFile(OperationInfo& info, std::string_view name, const ProgressSink* sink,
                       DataFileOpener open) noexcept {
  return recorded(info, "SET ...", name, "", [&] {
    return into(info.crcText, runOperation(Operation::kSet, name, {}, sink, open));
  });
}

int32_t resetCRC32inFile(OperationInfo& info, std::string_view name, DataFileOpener open) noexcept {
  return recorded(info, "RESET ...", name, kFailSafeCRC32, [&] {
    return into(info.crcText, runOperation(Operation::kReset, name, {}, nullptr, open));
  });
}

}  // namespace korvale
