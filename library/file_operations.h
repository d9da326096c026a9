// Check, set and reset of one data file's checksum field, the record of the last operation
// (OperationInfo) and the error table. Internal to the library: exports.cpp binds these to
// the exported interface.
#pragma once

#include <cstdint>
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
// What the pass reads at a time, on the stack, when the large buffer cannot be had.
inline constexpr std::size_t kFallbackChunk = 16 * kHeadBlockSize;

struct OperationInfo {
  std::string commandText;
  std::string crcText;
  int32_t errorCode = kOk;
};

// "OK", the error text of `code`, or "ERROR: [99] Unknown".
std::string_view errorText(int32_t code) noexcept;

// The right-most `count` characters of `name`, as the system's code page counts them
// (code_page_*.cpp).
std::string_view lastCharacters(std::string_view name, std::size_t count) noexcept;

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
