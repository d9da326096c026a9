// Search, read, zero and write of the checksum field.
#include "checksum_field.h"

#include <algorithm>

namespace korvale {
namespace {

constexpr std::size_t kFirstIdentifier = 40;
constexpr std::size_t kLastIdentifier = 221;
constexpr std::size_t kWindowLength = 31;  // from the identifier's '2' on
constexpr std::size_t kDigitsOffset = 3;   // after quote, '0', 'x'
constexpr std::size_t kClosingOffset = 11;
constexpr std::string_view kFailSafe = "0x00000000";

bool isIdentifierAt(std::span<const uint8_t, kHeadBlockSize> h, std::size_t s) {
  return (h[s] | 0x20) == 'c' && (h[s + 1] | 0x20) == 'r' && (h[s + 2] | 0x20) == 'c' &&
         h[s + 3] == '3' && h[s + 4] == '2' && h[s + 5] != '_';
}

// The field's digits as `code` for a failed search: 11 without identifier, else `malformed`.
int32_t searchError(FieldSearch found, int32_t malformed) {
  return found.outcome == FieldSearch::kNoIdentifier ? kNoIdentifier : malformed;
}

// Where the field's eight digits begin in `head`, or 11/13 when it has no well-formed field.
struct DigitsAt {
  int32_t code;
  std::size_t offset;
};

DigitsAt findDigits(std::span<const uint8_t, kHeadBlockSize> head) {
  const FieldSearch found = findCRC32Field(head);
  if (found.outcome != FieldSearch::kFound) return {searchError(found, kFieldUnwritable), 0};
  return {kOk, found.quote + kDigitsOffset};
}

int32_t writeDigits(HeadBlock& head, std::string_view digits) {
  const DigitsAt at = findDigits(head);
  if (at.code == kOk) std::copy_n(digits.begin(), kDigitCount, head.begin() + at.offset);
  return at.code;
}

bool writeFully(DataFile& file, uint64_t offset, std::span<const uint8_t> data) {
  std::size_t done = 0;
  while (done < data.size()) {
    int64_t n = file.writeAt(offset + done, data.subspan(done));
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

// Best effort after a failure: what was there goes back, on the disk too.
void restoreDigits(DataFile& file, const WrittenDigits& written) {
  if (writeFully(file, written.offset, written.original)) file.flush();
}

}  // namespace

FieldSearch findCRC32Field(std::span<const uint8_t, kHeadBlockSize> head) {
  std::size_t s = kFirstIdentifier;
  while (s <= kLastIdentifier && !isIdentifierAt(head, s)) ++s;
  if (s > kLastIdentifier) return {FieldSearch::kNoIdentifier, 0};

  const std::size_t windowBegin = s + 4;
  const std::size_t windowEnd = std::min(windowBegin + kWindowLength, kHeadBlockSize);
  static constexpr uint8_t kOpening[] = {'"', '0', 'x'};
  auto window = head.subspan(windowBegin, windowEnd - windowBegin);
  auto opening =
      std::search(window.begin(), window.end(), std::begin(kOpening), std::end(kOpening));
  if (opening == window.end()) return {FieldSearch::kMalformed, 0};

  const std::size_t q = windowBegin + static_cast<std::size_t>(opening - window.begin());
  if (q + kClosingOffset >= windowEnd || head[q + kClosingOffset] != '"') {
    return {FieldSearch::kMalformed, 0};
  }
  return {FieldSearch::kFound, q};
}

int32_t zeroCRC32inHead(HeadBlock& head) { return writeDigits(head, "00000000"); }

int32_t writeCRC32inHead(HeadBlock& head, std::string_view crcText) {
  return writeDigits(head, crcText.substr(2, kDigitCount));
}

int32_t stampVerdict(std::string_view stored, std::string_view computed) {
  if (stored == kFailSafe) return kCrcEmpty;
  return stored == computed ? kOk : kCrcDifferent;
}

int64_t readFully(DataFile& file, uint64_t offset, std::span<uint8_t> buffer) {
  std::size_t done = 0;
  while (done < buffer.size()) {
    int64_t n = file.readAt(offset + done, buffer.subspan(done));
    if (n < 0) return -1;
    if (n == 0) break;
    done += static_cast<std::size_t>(n);
  }
  return static_cast<int64_t>(done);
}

int32_t readCRC32inHead(const HeadBlock& head, std::string& storedText) {
  storedText = kFailSafe;
  FieldSearch found = findCRC32Field(head);
  if (found.outcome != FieldSearch::kFound) return searchError(found, kFieldUnreadable);
  storedText.assign(reinterpret_cast<const char*>(head.data()) + found.quote + 1, 10);
  return kOk;
}

int32_t writeCRC32Unflushed(DataFile& file, std::string_view crcText, uint64_t size,
                            WrittenDigits& written) {
  HeadBlock head;
  if (readFully(file, 0, head) != static_cast<int64_t>(head.size())) return kCannotOpen;
  const DigitsAt at = findDigits(head);
  if (at.code != kOk) return at.code;
  // Only the digits go out, and only they go back: a writer that ignores the lock keeps what
  // it changed around them since the head was read.
  written.offset = at.offset;
  std::copy_n(head.begin() + static_cast<std::ptrdiff_t>(at.offset), kDigitCount,
              written.original.begin());
  const std::string_view digits = crcText.substr(2, kDigitCount);
  if (writeFully(file, at.offset, {reinterpret_cast<const uint8_t*>(digits.data()), kDigitCount})) {
    std::optional<FileStamp> after = file.stamp();
    if (after && after->size == size) return kOk;
  }
  restoreDigits(file, written);
  return kCannotOpen;
}

int32_t flushCRC32(DataFile& file, const WrittenDigits& written) {
  // An OK is only reported once the digits are on the disk: a power cut after it keeps them.
  if (file.flush()) return kOk;
  restoreDigits(file, written);
  return kCannotOpen;
}

int32_t writeCRC32inFile(DataFile& file, std::string_view crcText, uint64_t size) {
  WrittenDigits written;
  const int32_t code = writeCRC32Unflushed(file, crcText, size, written);
  return code != kOk ? code : flushCRC32(file, written);
}

}  // namespace korvale
