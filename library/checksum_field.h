// The checksum field in a data file's first 252 bytes (the head block): the identifier
// crc32 (either case, not followed by '_') at offset 40..221, then within 30 bytes a quoted
// "0x" and eight digit characters. Internal to the library.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "CRC32.h"
#include "data_file.h"

namespace korvale {

inline constexpr std::size_t kHeadBlockSize = 252;
inline constexpr std::size_t kDigitCount = 8;  // of the field, after its "0x"
using HeadBlock = std::array<uint8_t, kHeadBlockSize>;

// Error codes of the record, shared by the field routines and the file operations.
enum ErrorCode : int32_t {
  kOk = 0,
  kCrcEmpty = 1,
  kCrcDifferent = 2,
  kNoIdentifier = 11,
  kFieldUnreadable = 12,
  kFieldUnwritable = 13,
  kCannotOpen = 21,
  kTooShort = 22,
};

struct FieldSearch {
  enum Outcome { kFound, kNoIdentifier, kMalformed } outcome;
  std::size_t quote;  // offset of the opening quote when found; digits at quote+3..quote+10
};

FieldSearch findCRC32Field(std::span<const uint8_t, kHeadBlockSize> head);

// In-memory routines: 0 on success, else 11 or 13 with the block unchanged.
int32_t zeroCRC32inHead(HeadBlock& head);
int32_t writeCRC32inHead(HeadBlock& head, std::string_view crcText);

// The stored "0x........" text of a head block (as it stands), or 11/12 with the text
// "0x00000000".
int32_t readCRC32inHead(const HeadBlock& head, std::string& storedText);

// The CRC that the field holds: that of the head block with the field's eight digits read as
// '0', then of every byte after it, in order.
class ContentCrc {
 public:
  // A head without a well-formed field is taken as it is, and fieldCode() tells why (11 or 13).
  explicit ContentCrc(HeadBlock head) : fieldCode_(zeroCRC32inHead(head)) { engine_.update(head); }
  int32_t fieldCode() const { return fieldCode_; }
  void update(std::span<const uint8_t> bytes) { engine_.update(bytes); }
  std::string text() const { return engine_.getCRC32(); }

 private:
  int32_t fieldCode_;
  tCRC32 engine_;
};

// A check's verdict on a field holding `stored` for content whose CRC is `computed`: 0, 1 for a
// field never stamped (or reset), 2 for any other difference (digits compare exactly).
int32_t stampVerdict(std::string_view stored, std::string_view computed);

// Writes the eight digits of `crcText` into the file's field, those eight bytes and no others,
// and flushes them to stable storage before giving 0. A head without a well-formed field gives
// 11 or 13, and nothing is written. A failed or incomplete write gives 21; so does a failed
// flush, and a file no longer `size` bytes long once written (another writer, ignoring the
// lock, got in after the caller's last look). The original eight digits are then written back
// and flushed, so the field is never left half-written nor stamped for content it was not
// computed from.
int32_t writeCRC32inFile(DataFile& file, std::string_view crcText, uint64_t size);

// Where the digits were written and what they replaced: enough to put them back.
struct WrittenDigits {
  uint64_t offset = 0;
  std::array<uint8_t, kDigitCount> original{};
};

// writeCRC32inFile in two steps, so that a caller may flush many files together. The first
// writes the digits and gives 0 with `written` filled, or fails as writeCRC32inFile does (the
// digits put back). The second flushes: 0 once the digits are on stable storage, else 21 with
// the original digits written back and flushed.
int32_t writeCRC32Unflushed(DataFile& file, std::string_view crcText, uint64_t size,
                            WrittenDigits& written);
int32_t flushCRC32(DataFile& file, const WrittenDigits& written);

// Reads until `buffer` is full or the file ends: the count read, or -1 on an error.
int64_t readFully(DataFile& file, uint64_t offset, std::span<uint8_t> buffer);

}  // namespace korvale
