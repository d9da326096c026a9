// Check, set and reset on real files, the sink sequence, and faults injected through the file seam.
#include "file_operations.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "CRC32.h"
#include "test_files.h"

namespace korvale {
namespace {

using testing::dataFile;
using testing::differingOffsets;
using testing::readFile;
using testing::ScratchDir;
using testing::writeFile;

constexpr std::size_t kFieldAt = 60;
constexpr std::size_t kDigitsAt = kFieldAt + 9;

// The CRC a correct stamp holds: every byte, the field's digits read as '0'.
std::string expectedCrc(std::string content) {
  std::fill_n(content.begin() + kDigitsAt, 8, '0');
  tCRC32 engine;
  engine.update({reinterpret_cast<const uint8_t*>(content.data()), content.size()});
  return engine.getCRC32();
}

std::string withDigits(std::string content, std::string_view digits) {
  return content.replace(kDigitsAt, 8, digits);
}

// Offsets a file may differ in after any operation.
bool onlyDigitsDiffer(std::string_view before, std::string_view after) {
  if (before.size() != after.size()) return false;
  for (std::size_t i = 0; i < before.size(); ++i) {
    if (before[i] != after[i] && (i < kDigitsAt || i >= kDigitsAt + 8)) return false;
  }
  return true;
}

enum class Op { kCheck, kSet, kReset };

int32_t run(Op op, OperationInfo& info, const std::string& name, const ProgressSink* sink = nullptr,
            DataFileOpener open = openDataFileExclusive) {
  switch (op) {
    case Op::kCheck:
      return checkCRC32inFile(info, name, sink, open);
    case Op::kSet:
      return setCRC32inFile(info, name, sink, open);
    case Op::kReset:
      return resetCRC32inFile(info, name, open);
  }
  return -1;
}

TEST(FileOperations, OutcomeTable) {
  const std::string plain = dataFile(600);
  const std::string crc = expectedCrc(plain);
  const std::string stamped = withDigits(plain, crc.substr(2));
  std::string lower = crc.substr(2);
  std::transform(lower.begin(), lower.end(), lower.begin(), ::tolower);
  const bool crcHasLetters = lower != crc.substr(2);
  const std::string noIdentifier = dataFile(600, "no field");
  const std::string malformed = dataFile(600, R"(crc32="0X00000000")");
  const std::string tooShort = dataFile(251);

  struct Case {
    const char* what;
    Op op;
    std::string content;  // empty: no such file
    int32_t code;
    std::string crcText;
    std::string after;  // the file afterwards
  } cases[] = {
      {"check stamped", Op::kCheck, stamped, kOk, crc, stamped},
      {"check fail-safe", Op::kCheck, plain, kCrcEmpty, "0x00000000", plain},
      {"check different", Op::kCheck, withDigits(plain, "12345678"), kCrcDifferent, "0x00000000",
       withDigits(plain, "12345678")},
      {"check non-hex digits", Op::kCheck, withDigits(plain, "zz  ..!!"), kCrcDifferent,
       "0x00000000", withDigits(plain, "zz  ..!!")},
      {"check no identifier", Op::kCheck, noIdentifier, kNoIdentifier, "0x00000000", noIdentifier},
      {"check malformed", Op::kCheck, malformed, kFieldUnreadable, "0x00000000", malformed},
      {"check too short", Op::kCheck, tooShort, kTooShort, "0x00000000", tooShort},
      {"check missing", Op::kCheck, "", kCannotOpen, "0x00000000", ""},
      {"set fail-safe", Op::kSet, plain, kOk, crc, stamped},
      {"set over old digits", Op::kSet, withDigits(plain, "DEADBEEF"), kOk, crc, stamped},
      {"set no identifier", Op::kSet, noIdentifier, kNoIdentifier, "0x00000000", noIdentifier},
      {"set malformed", Op::kSet, malformed, kFieldUnwritable, "0x00000000", malformed},
      {"set too short", Op::kSet, tooShort, kTooShort, "", tooShort},
      {"set missing", Op::kSet, "", kCannotOpen, "", ""},
      {"reset stamped", Op::kReset, stamped, kOk, "0x00000000", plain},
      {"reset no identifier", Op::kReset, noIdentifier, kNoIdentifier, "0x00000000", noIdentifier},
      {"reset malformed", Op::kReset, malformed, kFieldUnwritable, "0x00000000", malformed},
      {"reset too short", Op::kReset, tooShort, kTooShort, "0x00000000", tooShort},
      {"reset missing", Op::kReset, "", kCannotOpen, "0x00000000", ""},
  };
  ScratchDir dir;
  for (const Case& c : cases) {
    const std::string name = dir.path(std::string(c.what) + ".xml");
    if (!c.content.empty()) writeFile(name, c.content);
    OperationInfo info{"stale", "stale", 99};
    EXPECT_EQ(run(c.op, info, name), c.code) << c.what;
    EXPECT_EQ(info.errorCode, c.code) << c.what;
    EXPECT_EQ(info.crcText, c.crcText) << c.what;
    if (!c.content.empty()) {
      const std::string after = readFile(name);
      EXPECT_EQ(after, c.after) << c.what << ": differs at " << differingOffsets(after, c.after);
      EXPECT_TRUE(onlyDigitsDiffer(c.content, after)) << c.what;
    }
  }

  if (crcHasLetters) {  // the same number with lower-case letters is still different
    const std::string name = dir.path("lower.xml");
    writeFile(name, withDigits(plain, lower));
    OperationInfo info;
    EXPECT_EQ(checkCRC32inFile(info, name, nullptr), kCrcDifferent);
  }
}

TEST(FileOperations, SetThenCheckThenResetThenCheck) {
  ScratchDir dir;
  const std::string name = dir.path("roundtrip.xml");
  writeFile(name, dataFile(252));  // exactly one block
  OperationInfo set, check;
  EXPECT_EQ(setCRC32inFile(set, name, nullptr), kOk);
  EXPECT_EQ(checkCRC32inFile(check, name, nullptr), kOk);
  EXPECT_EQ(check.crcText, set.crcText);
  EXPECT_EQ(set.crcText, expectedCrc(dataFile(252)));
  EXPECT_EQ(resetCRC32inFile(check, name), kOk);
  EXPECT_EQ(checkCRC32inFile(check, name, nullptr), kCrcEmpty);
}

TEST(FileOperations, CommandTextEndsWithTheLastSixtyCharactersOfTheName) {
  const std::string longName(100, 'n');
  const std::string shortName = "a.xml";
  OperationInfo info;
  checkCRC32inFile(info, longName, nullptr);
  EXPECT_EQ(info.commandText, "CHECK ..." + longName.substr(40));
  setCRC32inFile(info, shortName, nullptr);
  EXPECT_EQ(info.commandText, "SET ...a.xml");
  resetCRC32inFile(info, "");
  EXPECT_EQ(info.commandText, "RESET ...");
  EXPECT_EQ(info.errorCode, kCannotOpen);
}

// runOperation gives what the record gets, with a buffer of any size or none.
TEST(FileOperations, ReentrantEntryWithAnyBuffer) {
  ScratchDir dir;
  const std::size_t size = 3 * 252 * 3 + 13;  // past several reads of the smaller buffers
  const std::string plain = dataFile(size);
  const std::string crc = expectedCrc(plain);
  const std::string stamped = withDigits(plain, crc.substr(2));
  const std::string name = dir.path("any.xml");
  std::vector<uint8_t> memory(kReadChunk);
  for (std::size_t bufferSize : {std::size_t{0}, std::size_t{100}, std::size_t{252},
                                 std::size_t{3 * 252 + 100}, kReadChunk}) {
    const std::span<uint8_t> buffer(memory.data(), bufferSize);
    writeFile(name, plain);
    const struct {
      Operation operation;
      Outcome outcome;
      const std::string& after;
    } steps[] = {{Operation::kCheck, {kCrcEmpty, "0x00000000", size}, plain},
                 {Operation::kSet, {kOk, crc, size}, stamped},
                 {Operation::kCheck, {kOk, crc, size}, stamped},
                 {Operation::kReset, {kOk, "0x00000000", size}, plain}};
    for (const auto& step : steps) {
      const Outcome outcome = runOperation(step.operation, name, buffer);
      EXPECT_EQ(outcome.code, step.outcome.code) << bufferSize;
      EXPECT_EQ(outcome.crcText, step.outcome.crcText) << bufferSize;
      EXPECT_EQ(outcome.size, step.outcome.size) << bufferSize;
      EXPECT_EQ(readFile(name), step.after) << bufferSize;
    }
  }
  writeFile(name, dataFile(251));
  for (Operation operation : {Operation::kCheck, Operation::kSet, Operation::kReset}) {
    const Outcome tooShort = runOperation(operation, name, {});
    const Outcome missing = runOperation(operation, dir.path("missing.xml"), {});
    const std::string crcText = operation == Operation::kSet ? "" : "0x00000000";
    EXPECT_EQ(tooShort.code, kTooShort);
    EXPECT_EQ(tooShort.crcText, crcText);
    EXPECT_EQ(tooShort.size, 251u);
    EXPECT_EQ(missing.code, kCannotOpen);
    EXPECT_EQ(missing.crcText, crcText);
    EXPECT_EQ(missing.size, 0u);
  }
}

// The field as read and the CRC as computed, beside the record's CRC text: both show when a
// stamp differs; each is empty where the operation did not get that far.
TEST(FileOperations, StoredAndComputedCrc) {
  ScratchDir dir;
  const std::string plain = dataFile(600);
  const std::string crc = expectedCrc(plain);
  const std::string name = dir.path("v.xml");
  const struct {
    std::string content;
    Operation operation;
    std::string stored, computed;
  } cases[] = {
      {withDigits(plain, "12345678"), Operation::kCheck, "0x12345678", crc},
      {plain, Operation::kCheck, "0x00000000", crc},
      {withDigits(plain, crc.substr(2)), Operation::kCheck, crc, crc},
      {withDigits(plain, "12345678"), Operation::kSet, "0x12345678", crc},
      {withDigits(plain, "12345678"), Operation::kReset, "", ""},
      {dataFile(600, ""), Operation::kCheck, "", ""},
      {dataFile(600, R"(crc32="0X00000000")"), Operation::kSet, "", ""},
      {dataFile(251), Operation::kCheck, "", ""},
  };
  for (const auto& c : cases) {
    writeFile(name, c.content);
    const Outcome outcome = runOperation(c.operation, name, {});
    EXPECT_EQ(outcome.stored, c.stored) << outcome.code;
    EXPECT_EQ(outcome.computed, c.computed) << outcome.code;
  }
}

// A check may open for reading: a read-only file is verified, readers share it, and a writer
// that locks (set, reset) is kept out while it is read, as it keeps the reader out.
TEST(FileOperations, ReadingOpenerForChecks) {
  ScratchDir dir;
  const std::string plain = dataFile(600);
  const std::string name = dir.path("ro.xml");
  writeFile(name, withDigits(plain, expectedCrc(plain).substr(2)));
  std::filesystem::permissions(name, std::filesystem::perms::owner_read |
                                         std::filesystem::perms::group_read |
                                         std::filesystem::perms::others_read);
  EXPECT_EQ(runOperation(Operation::kCheck, name, {}).code, kCannotOpen);
  EXPECT_EQ(runOperation(Operation::kCheck, name, {}, nullptr, openDataFileForReading).code, kOk);
  std::filesystem::permissions(name, std::filesystem::perms::owner_write,
                               std::filesystem::perm_options::add);
  {
    auto reader = openDataFileForReading(name);
    ASSERT_TRUE(reader);
    EXPECT_TRUE(openDataFileForReading(name)) << "a second reader";
    EXPECT_FALSE(openDataFileExclusive(name)) << "a writer while it is read";
  }
  auto writer = openDataFileExclusive(name);
  ASSERT_TRUE(writer);
  EXPECT_FALSE(openDataFileForReading(name)) << "a reader while it is written";
  EXPECT_FALSE(openDataFileForReading(dir.path(""))) << "a directory";
}

// Operations side by side on threads, each with its own buffer, as korvale-batch runs them.
TEST(FileOperations, ReentrantEntrySideBySide) {
  ScratchDir dir;
  std::vector<std::thread> threads;
  std::atomic<int> wrong = 0;
  for (std::size_t t = 0; t < 6; ++t) {
    threads.emplace_back([&, t] {
      const std::string content = dataFile(600 + t * (kReadChunk / 2));
      const std::string crc = expectedCrc(content);
      const std::string name = dir.path("thread" + std::to_string(t) + ".xml");
      writeFile(name, content);
      std::vector<uint8_t> buffer(kReadChunk);
      for (int round = 0; round < 20; ++round) {
        wrong += runOperation(Operation::kSet, name, buffer).crcText != crc;
        wrong += runOperation(Operation::kCheck, name, buffer).code != kOk;
        wrong += runOperation(Operation::kReset, name, buffer).code != kOk;
      }
      wrong += readFile(name) != content;
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(wrong, 0);
}

TEST(FileOperations, AFileHeldElsewhereOrReadOnlyGives21) {
  ScratchDir dir;
  const std::string name = dir.path("held.xml");
  writeFile(name, dataFile(600));
  OperationInfo info;
  {
    auto holder = openDataFileExclusive(name);
    ASSERT_TRUE(holder);
    for (Op op : {Op::kCheck, Op::kSet, Op::kReset}) EXPECT_EQ(run(op, info, name), kCannotOpen);
  }
  EXPECT_EQ(checkCRC32inFile(info, name, nullptr), kCrcEmpty) << "released again";

  std::filesystem::permissions(name, std::filesystem::perms::owner_read |
                                         std::filesystem::perms::group_read |
                                         std::filesystem::perms::others_read);
  EXPECT_EQ(setCRC32inFile(info, name, nullptr), kCannotOpen);
  EXPECT_EQ(readFile(name), dataFile(600));

  EXPECT_EQ(checkCRC32inFile(info, dir.path(""), nullptr), kCannotOpen) << "a directory";
  EXPECT_EQ(checkCRC32inFile(info, std::string("held.xml\0x", 10), nullptr), kCannotOpen)
      << "a name with a zero byte";
}

// Records every call a sink receives, and answers positions like a progress bar.
struct RecordingSink {
  std::vector<std::string> calls;
  int32_t position = 0;
  ProgressSink sink{this, &setMinimum, &setMaximum, &getPosition, &setPosition};

  static RecordingSink& self(void* context) { return *static_cast<RecordingSink*>(context); }
  static void KORVALELIB_CALL setMinimum(void* c, int32_t v) {
    self(c).calls.push_back("min " + std::to_string(v));
  }
  static void KORVALELIB_CALL setMaximum(void* c, int32_t v) {
    self(c).calls.push_back("max " + std::to_string(v));
  }
  static int32_t KORVALELIB_CALL getPosition(void* c) {
    self(c).calls.push_back("get");
    return self(c).position;
  }
  static void KORVALELIB_CALL setPosition(void* c, int32_t v) {
    self(c).calls.push_back("pos " + std::to_string(v));
    self(c).position = v;
  }
};

// What a reader of 252-byte blocks does to the sink for a file of `size` bytes.
std::vector<std::string> blockwiseModel(std::size_t size) {
  std::vector<std::string> calls = {"min 0", "max " + std::to_string(size), "pos 0"};
  std::size_t rest = size - 252, position = 0, n = 252;
  while (n == 252) {
    n = std::min<std::size_t>(252, rest);
    rest -= n;
    position += n;
    calls.push_back("get");
    calls.push_back("pos " + std::to_string(position));
  }
  calls.push_back("pos 0");
  return calls;
}

TEST(FileOperations, SinkSequence) {
  EXPECT_EQ(blockwiseModel(600), (std::vector<std::string>{"min 0", "max 600", "pos 0", "get",
                                                           "pos 252", "get", "pos 348", "pos 0"}));
  ScratchDir dir;
  const std::size_t chunk = kReadChunk;
  // The reads of the pass end where the file's chunks end: around those ends in particular.
  for (std::size_t size : {std::size_t{252}, std::size_t{504}, std::size_t{600}, chunk - 1, chunk,
                           chunk + 1, 2 * chunk, 2 * chunk + 100}) {
    const std::string name = dir.path("sink" + std::to_string(size) + ".xml");
    writeFile(name, dataFile(size));
    for (Op op : {Op::kCheck, Op::kSet}) {
      RecordingSink recorder;
      OperationInfo info;
      writeFile(name, withDigits(dataFile(size), expectedCrc(dataFile(size)).substr(2)));
      EXPECT_EQ(run(op, info, name, &recorder.sink), kOk) << size;
      EXPECT_EQ(recorder.calls, blockwiseModel(size)) << size;
    }
  }

  // No field: check stops before the pass, set still drives the sink, reset never does.
  const std::string name = dir.path("nofield.xml");
  writeFile(name, dataFile(600, "none"));
  for (Op op : {Op::kCheck, Op::kSet, Op::kReset}) {
    RecordingSink recorder;
    OperationInfo info;
    EXPECT_EQ(run(op, info, name, &recorder.sink), kNoIdentifier);
    EXPECT_EQ(recorder.calls, op == Op::kSet ? blockwiseModel(600) : std::vector<std::string>{});
  }
}

// An in-memory file whose reads, writes and stamp can be made to fail.
struct Faults {
  int64_t failReadAt = -1;  // a read reaching this offset fails
  int writeErrors = 0;      // this many writes fail after storing `partial` bytes
  std::size_t partial = 0;
  std::size_t writeLimit = SIZE_MAX;  // every write stores at most this many bytes
  bool changesDuringPass = false;     // the stamp moves once the pass has begun
};

struct FaultyFile final : DataFile {
  static inline std::string content;
  static inline Faults faults;
  bool passStarted = false;

  std::optional<FileStamp> stamp() override {
    return FileStamp{content.size(), passStarted && faults.changesDuringPass ? 1 : 0, 0};
  }
  int64_t readAt(uint64_t offset, std::span<uint8_t> buffer) override {
    passStarted = true;  // the pass begins with the first read, the head's
    if (faults.failReadAt >= 0 &&
        static_cast<int64_t>(offset + buffer.size()) > faults.failReadAt) {
      return -1;
    }
    if (offset >= content.size()) return 0;
    const std::size_t n = std::min<std::size_t>(buffer.size(), content.size() - offset);
    std::memcpy(buffer.data(), content.data() + offset, n);
    return static_cast<int64_t>(n);
  }
  int64_t writeAt(uint64_t offset, std::span<const uint8_t> data) override {
    std::size_t n = std::min(data.size(), faults.writeLimit);
    if (faults.writeErrors > 0) n = std::min(n, faults.partial);
    std::memcpy(content.data() + offset, data.data(), n);
    if (faults.writeErrors > 0) return --faults.writeErrors, -1;
    return static_cast<int64_t>(n);
  }
  bool flush() override { return true; }
  static std::unique_ptr<DataFile> open(const std::string&) {
    return std::make_unique<FaultyFile>();
  }
};

TEST(FileOperations, FaultsNeverReportOkNorLeaveAHalfWrittenField) {
  const std::string plain = dataFile(2000);
  const std::string stamped = withDigits(plain, expectedCrc(plain).substr(2));
  struct Case {
    const char* what;
    Op op;
    Faults faults;
    int32_t code;
    std::string after;
  } cases[] = {
      {"check: read error in the pass", Op::kCheck, {.failReadAt = 1000}, kCannotOpen, plain},
      {"set: read error in the pass", Op::kSet, {.failReadAt = 1000}, kCannotOpen, plain},
      {"set: head unreadable", Op::kSet, {.failReadAt = 0}, kCannotOpen, plain},
      {"check: file changed in the pass",
       Op::kCheck,
       {.changesDuringPass = true},
       kCannotOpen,
       plain},
      {"set: file changed in the pass", Op::kSet, {.changesDuringPass = true}, kCannotOpen, plain},
      {"set: short writes are completed", Op::kSet, {.writeLimit = 10}, kOk, stamped},
      {"set: write fails midway", Op::kSet, {.writeErrors = 1, .partial = 72}, kCannotOpen, plain},
      {"reset: write fails at once", Op::kReset, {.writeErrors = 1}, kCannotOpen, plain},
  };
  for (const Case& c : cases) {
    FaultyFile::content = plain;
    FaultyFile::faults = c.faults;
    OperationInfo info;
    EXPECT_EQ(run(c.op, info, "x.xml", nullptr, &FaultyFile::open), c.code) << c.what;
    if (c.code != kOk) {
      EXPECT_EQ(info.crcText, "0x00000000") << c.what;
    }
    EXPECT_EQ(FaultyFile::content, c.after)
        << c.what << ": differs at " << differingOffsets(FaultyFile::content, c.after);
  }
}

TEST(FileOperations, SparseFileBeyondTwoGigabytes) {
  ScratchDir dir;
  const std::string name = dir.path("large.xml");
  const uint64_t size = (uint64_t{1} << 31) + 1000;
  {
    // A seek past the end leaves a hole; resize_file cannot go beyond 2 GiB in 32-bit builds.
    const std::string head = dataFile(600);
    std::ofstream out(name, std::ios::binary);
    out.write(head.data(), static_cast<std::streamsize>(head.size()));
    out.seekp(static_cast<std::streamoff>(size - 1));
    out.put('\0');
    ASSERT_TRUE(out) << "cannot make " << name;
  }

  testing::BarModel bar;
  OperationInfo info;
  ASSERT_EQ(setCRC32inFile(info, name, &bar.sink), kOk);
  EXPECT_GT(bar.maximum, 0);
  EXPECT_FALSE(bar.wentBackwards);
  EXPECT_GE(bar.highest, bar.maximum - 252) << "the bar runs to its end, less the head";
  EXPECT_LE(bar.highest, bar.maximum);
  EXPECT_EQ(bar.position, 0);

  // The reference: the head with zeroed digits, then the zeros of the hole.
  std::string head = dataFile(600);
  std::fill_n(head.begin() + kDigitsAt, 8, '0');
  uint32_t reg = crc32UpdateBytewise(0xFFFFFFFFu,
                                     {reinterpret_cast<const uint8_t*>(head.data()), head.size()});
  const std::vector<uint8_t> zeros(1 << 20);
  for (uint64_t left = size - head.size(); left > 0;) {
    const std::size_t n = static_cast<std::size_t>(std::min<uint64_t>(left, zeros.size()));
    reg = crc32Update(reg, {zeros.data(), n});
    left -= n;
  }
  EXPECT_EQ(info.crcText, formatCrcText(reg));
  EXPECT_EQ(checkCRC32inFile(info, name, nullptr), kOk);
}

}  // namespace
}  // namespace korvale
