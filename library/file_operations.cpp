// The three file operations. The file is read in large chunks but fed to the sink in the
// 252-byte blocks that callers see, so progress looks the same whatever the chunk size.
#include "file_operations.h"

#include <algorithm>
#include <array>
#include <limits>
#include <memory>
#include <new>

#include "CRC32.h"

namespace korvale {
namespace {

constexpr std::size_t kBlock = kHeadBlockSize;

// Drives an optional sink. Sizes beyond int32_t are reported in units of 2^shift bytes.
class SinkDriver {
 public:
  SinkDriver(const ProgressSink* sink, uint64_t size) : sink_(sink) {
    while ((size >> shift_) > static_cast<uint64_t>(std::numeric_limits<int32_t>::max())) ++shift_;
    if (!sink_) return;
    sink_->setMinimum(sink_->context, 0);
    sink_->setMaximum(sink_->context, static_cast<int32_t>(size >> shift_));
    sink_->setPosition(sink_->context, 0);
  }

  // One block of `count` bytes was read after the head block.
  void advance(uint64_t count) {
    const uint64_t before = consumed_ >> shift_;
    consumed_ += count;
    if (!sink_) return;
    const int64_t position = int64_t{sink_->getPosition(sink_->context)} +
                             static_cast<int64_t>((consumed_ >> shift_) - before);
    sink_->setPosition(sink_->context, static_cast<int32_t>(std::clamp<int64_t>(
                                           position, std::numeric_limits<int32_t>::min(),
                                           std::numeric_limits<int32_t>::max())));
  }

  // Reports the blocks of a chunk of `count` bytes, as 252-byte reads would have seen them.
  void advanceChunk(uint64_t count) {
    if (!sink_) return;
    for (; count >= kBlock; count -= kBlock) advance(kBlock);
    if (count > 0) advance(count);
  }

  void finish() {
    if (sink_) sink_->setPosition(sink_->context, 0);
  }

 private:
  const ProgressSink* sink_;
  int shift_ = 0;
  uint64_t consumed_ = 0;
};

struct alignas(4096) Page {
  uint8_t bytes[4096];
};
static_assert(kReadChunk % sizeof(Page) == 0 && kReadChunk % kBlock == 0);

struct HeldFile {
  std::unique_ptr<DataFile> file;
  FileStamp stamp;
};

// Opens the file for the whole operation: 21 when it cannot be had, 22 when it is too short.
int32_t preCheckFile(std::string_view name, DataFileOpener open, HeldFile& held) {
  // A name with a zero byte would silently open a different, shorter name.
  if (name.find('\0') != std::string_view::npos) return kCannotOpen;
  held.file = open(std::string(name));
  if (!held.file) return kCannotOpen;
  std::optional<FileStamp> stamp = held.file->stamp();
  if (!stamp) return kCannotOpen;
  held.stamp = *stamp;
  return stamp->size < kHeadBlockSize ? kTooShort : kOk;
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

// The CRC of the whole file with the field's digits read as '0'. Gives 11 or 13 from the
// field (the pass still runs, driving the sink), or 21 when a read fails or the file
// changed during the pass.
int32_t calcCRC32ofFile(HeldFile& held, const ProgressSink* sink, std::string& crcText) {
  crcText = kFailSafeCRC32;
  HeadBlock head;
  if (readFully(*held.file, 0, head) != static_cast<int64_t>(kBlock)) return kCannotOpen;
  const int32_t fieldCode = zeroCRC32inHead(head);

  tCRC32 engine;
  engine.update(head);
  SinkDriver progress(sink, held.stamp.size);
  // The system copies out of its file cache fastest between page-aligned places: the buffer
  // is page-aligned, and the first read stops at the first chunk's end, so every later one
  // starts on a page of the file. Chunk ends stay on block ends all the same. The buffer only
  // saves time: without memory for it the pass reads a few blocks at a time into the stack.
  const std::unique_ptr<Page[]> pages(new (std::nothrow) Page[kReadChunk / sizeof(Page)]);
  std::array<uint8_t, kFallbackChunk> small;
  const std::span<uint8_t> chunk =
      pages ? std::span(reinterpret_cast<uint8_t*>(pages.get()), kReadChunk) : std::span(small);
  uint64_t offset = kBlock;
  for (std::size_t want = chunk.size() - kBlock;; want = chunk.size()) {
    const int64_t n = readFully(*held.file, offset, chunk.first(want));
    if (n < 0) {
      progress.finish();
      return kCannotOpen;
    }
    engine.update(chunk.first(static_cast<std::size_t>(n)));
    progress.advanceChunk(static_cast<uint64_t>(n));
    offset += static_cast<uint64_t>(n);
    if (static_cast<std::size_t>(n) < want) break;
  }
  // Block-wise reading ends with a read of 0 bytes when the rest divides into full blocks.
  if ((offset - kBlock) % kBlock == 0) progress.advance(0);
  progress.finish();

  std::optional<FileStamp> after = held.file->stamp();
  if (!after || *after != held.stamp || offset != held.stamp.size) return kCannotOpen;
  crcText = engine.getCRC32();
  return fieldCode;
}

}  // namespace

std::string_view errorText(int32_t code) noexcept {
  switch (code) {
    case kOk:
      return "OK";
    case kCrcEmpty:
      return "ERROR: [01] CRC is empty";
    case kCrcDifferent:
      return "ERROR: [02] CRC is different";
    case kNoIdentifier:
      return "ERROR: [11] Missing CRC32-Identifier within the first 252 Bytes.";
    case kFieldUnreadable:
      return "ERROR: [12] Missing CRC32-Identifier.";
    case kFieldUnwritable:
      return "ERROR: [13] Missing [\"] in CRC32.";
    case kCannotOpen:
      return "ERROE: [21] Could not open file exclusive for ReadWrite.";
    case kTooShort:
      return "ERROR: [22] File is to short.";
    default:
      return "ERROR: [99] Unknown";
  }
}

int32_t checkCRC32inFile(OperationInfo& info, std::string_view name, const ProgressSink* sink,
                         DataFileOpener open) noexcept {
  return recorded(info, "CHECK ...", name, kFailSafeCRC32, [&]() -> int32_t {
    HeldFile held;
    std::string stored, computed;
    int32_t code;
    if ((code = preCheckFile(name, open, held)) != kOk) return code;
    if ((code = readCRC32inFile(*held.file, stored)) != kOk) return code;
    if ((code = calcCRC32ofFile(held, sink, computed)) != kOk) return code;
    if (stored == kFailSafeCRC32) return kCrcEmpty;
    if (stored != computed) return kCrcDifferent;
    info.crcText = computed;
    return kOk;
  });
}

int32_t setCRC32inFile(OperationInfo& info, std::string_view name, const ProgressSink* sink,
                       DataFileOpener open) noexcept {
  return recorded(info, "SET ...", name, "", [&]() -> int32_t {
    HeldFile held;
    int32_t code;
    if ((code = preCheckFile(name, open, held)) != kOk) return code;
    code = calcCRC32ofFile(held, sink, info.crcText);
    if (code == kOk) code = writeCRC32inFile(*held.file, info.crcText, held.stamp.size);
    if (code != kOk) info.crcText = kFailSafeCRC32;
    return code;
  });
}

int32_t resetCRC32inFile(OperationInfo& info, std::string_view name, DataFileOpener open) noexcept {
  return recorded(info, "RESET ...", name, kFailSafeCRC32, [&]() -> int32_t {
    HeldFile held;
    int32_t code;
    if ((code = preCheckFile(name, open, held)) != kOk) return code;
    return writeCRC32inFile(*held.file, kFailSafeCRC32, held.stamp.size);
  });
}

}  // namespace korvale
