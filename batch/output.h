// What korvale-batch prints: a line per file (text or JSON), the summary, the progress line,
// and the buffer that carries the lines to standard output.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>

#include "file_operations.h"
#include "runner.h"

namespace korvale::batch {

using engine::Progress;

// How a platform's paths are held as bytes: POSIX names are any bytes; Windows names are
// UTF-16, held as WTF-8.
enum class PathForm { kBytes, kWtf8 };

std::string_view operationName(Operation operation);

// CODE TAB CRC TAB PATH TAB MESSAGE LF. The code has two digits; control characters in the
// path show as \xHH, so that the line stays one line of four fields. In the bytes form a
// backslash, an ordinary character of names there, shows as \\, so that every path reads
// back to its exact bytes; in the WTF-8 form it is the folder separator and stays as it is
// (Windows names hold no control characters).
void appendTextLine(std::string& out, std::string_view path, const Outcome& outcome, PathForm form);

// {"path": ..., "operation": ..., "code": ..., "crc": ..., "message": ..., "stored": ...,
// "computed": ...} LF.
void appendJsonLine(std::string& out, std::string_view path, Operation operation,
                    const Outcome& outcome, PathForm form);

// A JSON string. Bytes that are no UTF-8 become \udcXX (XX the byte: Python's surrogateescape
// reads the name back); in the WTF-8 form, a lone surrogate becomes its own \uXXXX.
void appendJsonString(std::string& out, std::string_view text, PathForm form);

// Files and bytes per outcome, for the summary and the exit status.
class Tally {
 public:
  void count(const Outcome& outcome);
  uint64_t files() const;
  uint64_t bytes() const { return bytes_; }
  bool allOk() const { return files() == filesWithCode(kOk); }
  uint64_t filesWithCode(int32_t code) const;
  // The codes a file may give, in the order the summary lists them.
  static constexpr std::array<int32_t, 8> kCodes = {
      kOk,         kCrcEmpty, kCrcDifferent, kNoIdentifier, kFieldUnreadable, kFieldUnwritable,
      kCannotOpen, kTooShort};

 private:
  std::array<uint64_t, kCodes.size() + 1> files_{};  // the last: any other code
  uint64_t bytes_ = 0;
};

// "PROGRAM: check of N files, X MB in S s (R MB/s)" and a line per code that occurred.
std::string summaryText(std::string_view program, Operation operation, const Tally& tally,
                        double seconds);

// One line without a line end: files and bytes done, the rate, and the time left once the
// total is known.
std::string progressText(const Progress& progress);

// The lines on their way to standard output, in the order appended. They are written in
// pieces of `threshold` bytes, at once when `eachLine` (a terminal reads along), and whenever
// flush() is called (the program does so a few times a second, so a pipe sees lines soon).
class OutputBuffer {
 public:
  using Writer = std::function<bool(std::string_view bytes)>;
  OutputBuffer(Writer write, bool eachLine, std::size_t threshold = 64 * 1024);
  // False once a write has failed; nothing more is written then.
  bool append(std::string_view lines);
  bool flush();

 private:
  bool writeLocked();

  std::mutex mutex_;
  Writer write_;
  bool eachLine_;
  std::size_t threshold_;
  std::string pending_;
  bool failed_ = false;
};

}  // namespace korvale::batch
