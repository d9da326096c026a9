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

namespace korvale {

inline constexpr std::string_view kFailSafeCRC32 = "0x00000000";

// The pass over a file reads this much at a time: whole 252-byte blocks, so none straddles two
// reads, and small enough that a chunk and its CRC stay in the processor's second-level cache.
inline constexpr std::size_t kReadChunk = 1024 * kHeadBlockSize;

struct alignas(4096) Page {
  uint8_t bytes[4096];
};

// A buffer for the pass: kReadChunk bytes on page boundaries.
class ReadBuffer {
 public:
  ReadBuffer() : pages_(std::make_unique_for_overwrite<Page[]>(kReadChunk / sizeof(Page))) {}
  std::span<uint8_t> bytes() { return {reinterpret_cast<uint8_t*>(pages_.get()), kReadChunk}; }

 private:
  std::unique_ptr<Page[]> pages_;
};

struct OperationInfo {
  std::string commandText;
  std::string crcText;
  int32_t errorCode = kOk;
};

// "OK", the error text of `code`, or "ERROR: [99] Unknown".
std::string_view errorText(int32_t code);

// The right-most `count` characters of `name`, as the system's code page counts them
// (code_page_*.cpp).
std::string_view lastCharacters(std::string_view name, std::size_t count);

enum class Operation { kCheck, kSet, kReset };

// What one operation gives: its error code, the CRC text the record holds after it, and the
// size of the file as it was opened (0 when it could not be opened).
struct Outcome {
  int32_t code = kOk;
  std::string crcText;
  uint64_t size = 0;
};

// One operation on the file `name`, reentrant: it touches nothing but its arguments, so
// several may run at once, each on its own thread with its own `buffer` (a ReadBuffer reads
// fastest). The pass reads into `buffer` in whole 252-byte blocks; an empty one (or one below
// a block) makes the operation allocate its own ReadBuffer for the call. The sink is never called
// by a reset. The file is held as described below for the three operations, which are built on this
// one.
Outcome runOperation(Operation operation, const std::string& name, std::span<uint8_t> buffer,
                     const ProgressSink* sink = nullptr,
                     DataFileOpener open = openDataFileExclusive);

// The three operations. Each replaces all of `info` and returns its error code. The file
// is held open exclusively from the first check to the end, and a file that changes under
// the operation anyway (a writer that ignores the lock) gives 21 rather than a wrong CRC.
int32_t checkCRC32inFile(OperationInfo& info, const std::string& name, const ProgressSink* sink,
                         DataFileOpener open = openDataFileExclusive);
int32_t setCRC32inFile(OperationInfo& info, const std::string& name, const ProgressSink* sink,
                       DataFileOpener open = openDataFileExclusive);
int32_t resetCRC32inFile(OperationInfo& info, const std::string& name,
                         DataFileOpener open = openDataFileExclusive);

}  // namespace korvale
