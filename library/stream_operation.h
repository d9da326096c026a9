// One operation on a data file whose bytes arrive in order rather than from a file held open:
// for the page in a browser, which may read the files it is given but not write them, and so
// offers the head block that a set or reset would write instead. The outcome is what the file
// operation gives for the same bytes. Internal to the library.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "checksum_field.h"
#include "file_operations.h"

namespace korvale {

class StreamOperation {
 public:
  // Starts `operation` on a file whose first bytes are `head`: a whole head block, or all the
  // file holds when it is shorter (22).
  StreamOperation(Operation operation, std::span<const uint8_t> head);

  // Whether the outcome waits on the bytes after the head block; if not, finish() may follow.
  bool wantsContent() const { return content_.has_value(); }
  // The next bytes after the head block, while wantsContent().
  void feed(std::span<const uint8_t> bytes) { content_->update(bytes); }
  // The outcome, once every byte after the head block was fed. A set or reset that gives 0
  // leaves in head() the head block the file holds after it.
  const Outcome& finish();
  // The file could not be read to its end (it changed or went away): 21, as the file operation
  // gives for a file that changes during its pass.
  const Outcome& fail();

  const HeadBlock& head() const { return head_; }

  // The outcome for a file whose head cannot be read at all: 21, as for one that cannot be opened.
  static Outcome unopened(Operation operation);

 private:
  Operation operation_;
  HeadBlock head_{};
  std::optional<ContentCrc> content_;
  Outcome outcome_;
};

}  // namespace korvale
