// Fuzz target: check, set and reset on an in-memory file whose reads, writes and stamp may
// misbehave, and which another process may append to or change, against the model. Whatever
// happens, only the field's eight digit bytes are written, the other process's changes are
// kept, and OK must mean the job was done.
//
// Input: operation, fault, a 16-bit fault parameter, a count of filler units to append
// (so that files reach past the library's read chunk), then the file's content.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <optional>
#include <string>

#include "file_operations.h"
#include "fuzz_model.h"

namespace {

using korvale::model::expect;
using korvale::model::Field;

enum class Op { kCheck, kSet, kReset };

enum class Fault {
  kNone,
  kShortReads,          // reads deliver at most 1 + param % 300 bytes
  kShortWrites,         // writes store at most 1 + param % 16 bytes
  kReadError,           // reads touching offset param * 16 or beyond fail
  kWriteError,          // the first write stores param % 253 bytes, then fails
  kWriteStoresNothing,  // every write stores 0 bytes without an error
  kStampFails,          // call 1 + param % 3 of the stamp fails
  kAppendDuringRead,    // another process appends before read 1 + param % 8
  kAppendBeforeWrite,   // another process appends just before the first write
  kFlushFails,          // flush 1 + param % 2 fails: the stamp's, or also the restore's
  kChangeBeforeWrite,   // another process changes byte param % 252 just before the first write;
                        // from param 256 on the first flush fails too, and the digits go back
  kCount
};

bool transparent(Fault f, uint32_t param) {
  return f == Fault::kNone || f == Fault::kShortReads || f == Fault::kShortWrites ||
         (f == Fault::kChangeBeforeWrite && param < 256);
}

// The file as the fake platform holds it, and what happened to it.
struct Disk {
  std::string content;
  std::string theirs;    // the file with the other process's changes and none of ours
  Field field;           // the field of the file as given, where alone the library may write
  uint64_t version = 0;  // moves with every change, ours included, as a change time would
  Fault fault = Fault::kNone;
  uint32_t param = 0;
  int reads = 0, writes = 0, stamps = 0, flushes = 0;
  bool unflushed = false;  // written since the last successful flush

  void appendElsewhere() {
    const std::string more = "<Appended by=\"another process\"/>\n";
    content += more;
    theirs += more;
    ++version;
  }

  void changeElsewhere(std::size_t offset) {
    content[offset] = theirs[offset] = content[offset] == '#' ? '$' : '#';
    ++version;
  }
};
Disk disk;

class MemoryFile final : public korvale::DataFile {
 public:
  std::optional<korvale::FileStamp> stamp() override {
    ++disk.stamps;
    if (disk.fault == Fault::kStampFails && disk.stamps == 1 + int(disk.param % 3)) {
      return std::nullopt;
    }
    return korvale::FileStamp{disk.content.size(), static_cast<int64_t>(disk.version), 0};
  }

  int64_t readAt(uint64_t offset, std::span<uint8_t> buffer) override {
    ++disk.reads;
    if (disk.fault == Fault::kAppendDuringRead && disk.reads == 1 + int(disk.param % 8)) {
      disk.appendElsewhere();
    }
    if (disk.fault == Fault::kReadError && offset + buffer.size() > disk.param * 16ull) return -1;
    if (offset >= disk.content.size()) return 0;
    std::size_t n = std::min<uint64_t>(buffer.size(), disk.content.size() - offset);
    if (disk.fault == Fault::kShortReads) n = std::min<std::size_t>(n, 1 + disk.param % 300);
    std::memcpy(buffer.data(), disk.content.data() + offset, n);
    return static_cast<int64_t>(n);
  }

  int64_t writeAt(uint64_t offset, std::span<const uint8_t> data) override {
    ++disk.writes;
    expect(disk.field.isDigit(offset) && offset + data.size() <= disk.field.digits() + 8,
           "only the digits are written");
    if (disk.fault == Fault::kAppendBeforeWrite && disk.writes == 1) disk.appendElsewhere();
    if (disk.fault == Fault::kChangeBeforeWrite && disk.writes == 1) {
      disk.changeElsewhere(disk.param % korvale::model::kHead);
    }
    std::size_t n = data.size();
    const bool error = disk.fault == Fault::kWriteError && disk.writes == 1;
    if (error) n = std::min<std::size_t>(n, disk.param % 253);
    if (disk.fault == Fault::kWriteStoresNothing) n = 0;
    if (disk.fault == Fault::kShortWrites) n = std::min<std::size_t>(n, 1 + disk.param % 16);
    if (offset + n > disk.content.size()) disk.content.resize(offset + n);
    std::memcpy(disk.content.data() + offset, data.data(), n);
    if (n > 0) ++disk.version;
    disk.unflushed = true;
    return error ? -1 : static_cast<int64_t>(n);
  }

  bool flush() override {
    ++disk.flushes;
    if (disk.fault == Fault::kFlushFails && disk.flushes <= 1 + int(disk.param % 2)) return false;
    if (disk.fault == Fault::kChangeBeforeWrite && disk.param >= 256 && disk.flushes == 1) {
      return false;
    }
    disk.unflushed = false;
    return true;
  }

  static std::unique_ptr<korvale::DataFile> open(const std::string&) {
    return std::make_unique<MemoryFile>();
  }
};

// A progress bar that insists on being driven within its range.
struct CheckedSink {
  bool called = false, ranged = false;
  int32_t maximum = 0, position = 0;
  ProgressSink sink{this,
                    [](void* c, int32_t v) {
                      self(c).called = true;
                      expect(v == 0, "sink minimum");
                    },
                    [](void* c, int32_t v) {
                      self(c).called = self(c).ranged = true;
                      self(c).maximum = v;
                    },
                    [](void* c) {
                      self(c).called = true;
                      return self(c).position;
                    },
                    [](void* c, int32_t v) {
                      self(c).called = true;
                      expect(self(c).ranged && v >= 0 && v <= self(c).maximum, "sink position");
                      self(c).position = v;
                    }};
  static CheckedSink& self(void* c) { return *static_cast<CheckedSink*>(c); }
};

// The code the operation gives on `content` when nothing goes wrong.
int32_t expectedCode(Op op, const std::string& content, const Field& field) {
  if (content.size() < korvale::model::kHead) return korvale::kTooShort;
  if (field.kind == Field::kNoIdentifier) return korvale::kNoIdentifier;
  if (field.kind == Field::kMalformed) {
    return op == Op::kCheck ? korvale::kFieldUnreadable : korvale::kFieldUnwritable;
  }
  if (op != Op::kCheck) return korvale::kOk;
  const std::string stored = content.substr(field.quote + 1, 10);
  if (stored == "0x00000000") return korvale::kCrcEmpty;
  return stored == korvale::model::crcText(content, field) ? korvale::kOk : korvale::kCrcDifferent;
}

std::string digitsOf(const std::string& content, const Field& field) {
  return content.substr(field.digits(), 8);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  if (size < 5) return 0;
  const auto op = static_cast<Op>(data[0] % 3);
  disk = Disk{};
  disk.fault = static_cast<Fault>(data[1] % static_cast<uint8_t>(Fault::kCount));
  disk.param = data[2] | (uint32_t{data[3]} << 8);
  const std::string given(reinterpret_cast<const char*>(data) + 5, size - 5);
  std::string content = given;
  for (std::size_t i = 0, extra = data[4] * std::size_t{263}; i < extra; ++i) {
    content += given.empty() ? 'x' : given[i % given.size()];
  }
  disk.content = disk.theirs = content;

  const Field field =
      content.size() >= korvale::model::kHead ? korvale::model::findField(content) : Field{};
  disk.field = field;
  const int32_t wanted = expectedCode(op, content, field);

  korvale::OperationInfo info;
  CheckedSink progress;
  int32_t code = -1;
  switch (op) {
    case Op::kCheck:
      code = korvale::checkCRC32inFile(info, "fuzz.xml", &progress.sink, &MemoryFile::open);
      break;
    case Op::kSet:
      code = korvale::setCRC32inFile(info, "fuzz.xml", &progress.sink, &MemoryFile::open);
      break;
    case Op::kReset:
      code = korvale::resetCRC32inFile(info, "fuzz.xml", &MemoryFile::open);
      break;
  }

  expect(code == info.errorCode, "returned code equals the recorded one");
  if (transparent(disk.fault, disk.param)) {
    expect(code == wanted, "error code");
  } else {
    expect(code == wanted || code == korvale::kCannotOpen, "error code under a fault");
  }

  // Only the digits may differ from the file as the other process left it.
  const std::string& base = disk.theirs;
  const std::string& after = disk.content;
  expect(after.size() == base.size(), "the file keeps its length");
  // A failure leaves each digit as found; where the other process changed one meanwhile, the
  // library's write had taken its place, and putting the digits back gives the found one.
  for (std::size_t i = 0; i < base.size(); ++i) {
    expect(after[i] == base[i] ||
               (field.isDigit(i) && (code == korvale::kOk || after[i] == content[i])),
           "only the digits change, and only on success");
  }

  if (code == korvale::kOk) {
    // Of the file as the operation found it: the same as it ends, but for the digits and any
    // byte the other process changed after the pass.
    const std::string crc = korvale::model::crcText(content, field);
    switch (op) {
      case Op::kCheck:
        expect(info.crcText == crc && after.substr(field.quote + 1, 10) == crc, "check OK");
        break;
      case Op::kSet:
        expect(info.crcText == crc && digitsOf(after, field) == crc.substr(2), "set OK");
        break;
      case Op::kReset:
        expect(info.crcText == "0x00000000" && digitsOf(after, field) == "00000000", "reset OK");
        break;
    }
  } else if (op == Op::kSet && (code == korvale::kTooShort || code == korvale::kCannotOpen)) {
    expect(info.crcText.empty() || info.crcText == "0x00000000", "set's CRC text on failure");
  } else {
    expect(info.crcText == "0x00000000", "CRC text on failure");
  }

  if (op == Op::kCheck || (op == Op::kSet && wanted != korvale::kOk)) {
    expect(disk.writes == 0, "no write where nothing is to be written");
  }
  if (code == korvale::kOk) expect(!disk.unflushed, "an OK is on stable storage");
  if (op == Op::kCheck && wanted != korvale::kOk && wanted != korvale::kCrcEmpty &&
      wanted != korvale::kCrcDifferent) {
    expect(!progress.called, "no progress before the pass");
  }
  if (progress.ranged) {
    expect(progress.position == 0, "the bar ends at 0");
    if (content.size() <= uint64_t{std::numeric_limits<int32_t>::max()}) {
      expect(progress.maximum == static_cast<int32_t>(content.size()), "the bar's maximum");
    }
  }
  return 0;
}
