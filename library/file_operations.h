// Check, set and reset of one data file's checksum field, the record of the last operation
// (OperationInfo) and the error table. Internal to the library: exports.cpp binds these to
// the exported interface, and programs linked with the library itself (korvale-batch) call
// runOperation directly.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "checksum_field.h"
#include "data_file.h"
#include "korvalelib.h"
#include "messages.h"

namespace korvale {

inline constexpr std::string_view kFailSafeCRC32 = "0x00000000";

// The pass over a file reads this much at a time: whole 252-byte blocks, so none straddles two
// reads, and small enough that a chunk and its CRC stay in the processor's second-level cache.
inline constexpr std::size_t kReadChunk = 1024 * kHeadBlockSize;
// What the pass reads at a time, on the stack, when the large buffer cannot be had.
inline constexpr std::size_t kFallbackChunk = 16 * kHeadBlockSize;

// The system copies out of its file cache fastest between page-aligned places: the pass's
// buffers are made of these.
struct alignas(4096) Page {
  uint8_t bytes[4096];
};

struct OperationInfo {
  std::string commandText;
  std::string crcText;
  int32_t errorCode = kOk;
};

// The right-most `count` characters of `name`, as the system's code page counts them
// (code_page_*.cpp).
std::string_view lastCharacters(std::string_view name, std::size_t count) noexcept;

enum class Operation { kCheck, kSet, kReset };

// The CRC text of an operation that ends before it reads the file (it cannot be opened, or is
// too short): empty for a set, the fail-safe text otherwise.
inline std::string_view unreadCrcText(Operation operation) {
  return operation == Operation::kSet ? "" : kFailSafeCRC32;
}

// What one operation gives: its error code, the CRC text the record holds after it, and the
// size of the file as it was opened (0 when it could not be opened). Beside them, for those
// who show both when a stamp differs: the field's text as the file held it when read, and
// the CRC computed from the content (each empty when the operation did not get that far; a
// reset computes nothing).
struct Outcome {
  int32_t code = kOk;
  std::string crcText;
  uint64_t size = 0;
  std::string stored{};
  std::string computed{};
};

// A set or reset whose digits are written but not yet flushed, its file still open and held:
// korvale-batch flushes many such files at once rather than each after the other.
class PendingFlush {
 public:
  PendingFlush(std::unique_ptr<DataFile> file, WrittenDigits written)
      : file_(std::move(file)), written_(written) {}
  // Flushes and closes the file. A flush that fails makes `outcome` 21 with the fail-safe CRC
  // text, the original digits written back and flushed, as when the operation flushes itself.
  void finish(Outcome& outcome) noexcept;

 private:
  std::unique_ptr<DataFile> file_;
  WrittenDigits written_;
};

// One operation on the file `name`, reentrant: it touches nothing but its arguments, so
// several may run at once, each on its own thread with its own `buffer`. The pass reads into
// `buffer` in whole 252-byte blocks, fastest when it is kReadChunk bytes of Pages; an empty one
// (or one below a block) makes the operation find its own, as the three below do. The sink is
// never called by a reset. The file is held, and a failure ends, as described below for the
// three operations, which are built on this one.
// Given `deferred`, a set or reset that has written its digits leaves its flush there, the
// outcome as it will be once the flush succeeds; it is the caller's to finish.
Outcome runOperation(Operation operation, std::string_view name, std::span<uint8_t> buffer,
                     const ProgressSink* sink = nullptr,
                     DataFileOpener open = openDataFileExclusive,
                     std::unique_ptr<PendingFlush>* deferred = nullptr) noexcept;

// The three operations. Each replaces all of `info` and returns its error code. The file
// is held open exclusively from the first check to the end, and a file that changes under
// the operation anyway (a writer that ignores the lock) gives 21 rather than a wrong CRC.
// Nothing is thrown out of them: without memory for the large read buffer the pass reads
// a few blocks at a time and gives the same outcome; when the operation cannot go on at all
// (no memory left, or a progress callback threw), the outcome is 21 with the fail-safe CRC
// text, and the file is left as it was.
int32_t checkCRC32inFile(OperationInfo& info, std::string_view name, const ProgressSink* sink,
                         DataFileOpener open = openDataFileExclusive) noexcept;
int32_t setCRC32inFile(OperationInfo& info, std::string_view name, const ProgressSink* sink,
                       DataFileOpener open = openDataFileExclusive) noexcept;
int32_t resetCRC32inFile(OperationInfo& info, std::string_view name,
                         DataFileOpener open = openDataFileExclusive) noexcept;

}  // namespace korvale
