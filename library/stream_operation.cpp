// The steps of the file operations (file_operations.cpp) on bytes handed over in order: the
// same field routines, CRC and verdict, in the same order, with the same texts on the way out.
#include "stream_operation.h"

#include <algorithm>

namespace korvale {

StreamOperation::StreamOperation(Operation operation, std::span<const uint8_t> head)
    : operation_(operation) {
  outcome_.crcText = unreadCrcText(operation);
  if (head.size() < kHeadBlockSize) {
    outcome_.code = kTooShort;
    return;
  }
  std::copy_n(head.begin(), kHeadBlockSize, head_.begin());
  outcome_.crcText = kFailSafeCRC32;
  std::string stored;
  const int32_t fieldCode = readCRC32inHead(head_, stored);
  switch (operation) {
    case Operation::kCheck:
      outcome_.code = fieldCode;
      if (fieldCode != kOk) return;
      outcome_.stored = stored;
      content_.emplace(head_);
      break;
    case Operation::kSet:
      if (fieldCode == kOk) outcome_.stored = stored;
      content_.emplace(head_);
      // Without a field the content changes nothing: the file operation reads it only to
      // drive the progress indicator.
      if ((outcome_.code = content_->fieldCode()) != kOk) content_.reset();
      break;
    case Operation::kReset:
      outcome_.code = zeroCRC32inHead(head_);
      break;
  }
}

const Outcome& StreamOperation::finish() {
  if (!content_) return outcome_;
  outcome_.computed = content_->text();
  content_.reset();
  if (operation_ == Operation::kSet) {
    outcome_.crcText = outcome_.computed;
    outcome_.code = writeCRC32inHead(head_, outcome_.crcText);
  } else if ((outcome_.code = stampVerdict(outcome_.stored, outcome_.computed)) == kOk) {
    outcome_.crcText = outcome_.computed;
  }
  return outcome_;
}

const Outcome& StreamOperation::fail() {
  content_.reset();
  outcome_.code = kCannotOpen;
  outcome_.crcText = kFailSafeCRC32;
  outcome_.computed.clear();
  return outcome_;
}

Outcome StreamOperation::unopened(Operation operation) {
  return {.code = kCannotOpen, .crcText = std::string(unreadCrcText(operation))};
}

}  // namespace korvale
