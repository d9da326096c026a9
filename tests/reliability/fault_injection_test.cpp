// Faults injected through the file seam, beyond the unit tests' table: short reads, failing
// reads at the edges of the pass, writes that store nothing, a flush to the disk that fails, a
// stamp that cannot be had, and other writers changing the file between the pass and the write. The
// file is held open for the whole operation, so an open failing after the first look cannot happen;
// its equivalent, every later read failing, is here.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "CRC32.h"
#include "file_operations.h"
#include "test_files.h"

namespace korvale {
namespace {

using testing::dataFile;

constexpr std::size_t kDigitsAt = 69;      // dataFile() puts the field at 60
constexpr std::size_t kChunk = 256 * 252;  // the library's read size, to aim at its edges

std::string crcOf(std::string content) {
  std::fill_n(content.begin() + kDigitsAt, 8, '0');
  return formatCrcText(crc32UpdateBytewise(
      0xFFFFFFFFu, {reinterpret_cast<const uint8_t*>(content.data()), content.size()}));
}

// Where two large contents part, for a readable failure.
std::string firstDifference(std::string_view a, std::string_view b) {
  const auto [at, ignored] = std::mismatch(a.begin(), a.end(), b.begin(), b.end());
  return "sizes " + std::to_string(a.size()) + " and " + std::to_string(b.size()) +
         ", first difference at " + std::to_string(at - a.begin());
}

std::string withDigits(std::string content, std::string_view digits) {
  return content.replace(kDigitsAt, 8, digits);
}

struct Script {
  std::size_t readLimit = SIZE_MAX;          // every read delivers at most this many bytes
  uint64_t failReadsFrom = UINT64_MAX;       // reads reaching this offset fail
  bool writesStoreNothing = false;           // writes report 0 bytes, forever
  int failStampCall = 0;                     // this call of stamp() fails (1 = the first)
  std::string_view appendAtFirstWrite = {};  // another writer appends this just before our write
  std::size_t truncateAtPassTo = 0;          // another writer cuts the file once the pass begins
  int failFlushes = 0;                       // the first this many flushes fail
  bool changeHeadAtFirstWrite = false;  // another writer changes the head's first and last bytes
};

// An in-memory file that follows a script of faults; it counts what it is asked to do.
struct ScriptedFile final : DataFile {
  static inline std::string content;
  static inline Script script;
  static inline int stamps = 0, writes = 0, flushes = 0;
  static inline uint64_t version = 0;
  static inline bool unflushed = false;  // written since the last successful flush

  static void reset(std::string initial, Script s) {
    content = std::move(initial);
    script = s;
    stamps = writes = flushes = 0;
    version = 0;
    unflushed = false;
  }
  std::optional<FileStamp> stamp() override {
    if (++stamps == script.failStampCall) return std::nullopt;
    return FileStamp{content.size(), static_cast<int64_t>(version), 0};
  }
  int64_t readAt(uint64_t offset, std::span<uint8_t> buffer) override {
    if (script.truncateAtPassTo > 0) {  // the pass begins with the first read, the head's
      content.resize(std::exchange(script.truncateAtPassTo, 0));
      ++version;
    }
    if (offset + buffer.size() > script.failReadsFrom) return -1;
    if (offset >= content.size()) return 0;
    // offset < content.size() here, so it fits a size_t on 32-bit builds too.
    const std::size_t n = std::min(
        {buffer.size(), content.size() - static_cast<std::size_t>(offset), script.readLimit});
    std::memcpy(buffer.data(), content.data() + offset, n);
    return static_cast<int64_t>(n);
  }
  int64_t writeAt(uint64_t offset, std::span<const uint8_t> data) override {
    if (writes++ == 0 && !script.appendAtFirstWrite.empty()) {
      content += script.appendAtFirstWrite;
      ++version;
    }
    if (writes == 1 && script.changeHeadAtFirstWrite) {
      content[0] = content[251] = '#';
      ++version;
    }
    if (script.writesStoreNothing) return 0;
    std::memcpy(content.data() + offset, data.data(), data.size());
    ++version;
    unflushed = true;
    return static_cast<int64_t>(data.size());
  }
  bool flush() override {
    if (++flushes <= script.failFlushes) return false;
    unflushed = false;
    return true;
  }
  static std::unique_ptr<DataFile> open(const std::string&) {
    return std::make_unique<ScriptedFile>();
  }
};

enum class Op { kCheck, kSet, kReset };

int32_t run(Op op, OperationInfo& info) {
  switch (op) {
    case Op::kCheck:
      return checkCRC32inFile(info, "x.xml", nullptr, &ScriptedFile::open);
    case Op::kSet:
      return setCRC32inFile(info, "x.xml", nullptr, &ScriptedFile::open);
    case Op::kReset:
      return resetCRC32inFile(info, "x.xml", &ScriptedFile::open);
  }
  return -1;
}

TEST(FaultInjection, EveryFaultGivesAClearCodeAndLeavesTheFieldAlone) {
  const std::string plain = dataFile(kChunk + 2000);  // the pass takes two chunks
  const std::string stamped = withDigits(plain, crcOf(plain).substr(2));
  constexpr std::string_view tail = "<Late/>";
  struct Case {
    const char* what;
    Op op;
    std::string before;
    Script script;
    int32_t code;
    std::string crcText;
    std::string after;
  } cases[] = {
      // Short reads are no faults: the outcome is that of a clean run.
      {"check: 1-byte reads", Op::kCheck, stamped, {.readLimit = 1}, kOk, crcOf(plain), stamped},
      {"set: 7-byte reads", Op::kSet, plain, {.readLimit = 7}, kOk, crcOf(plain), stamped},
      {"reset: 100-byte reads", Op::kReset, stamped, {.readLimit = 100}, kOk, "0x00000000", plain},
      // Reads failing: from the start (as if the file could no longer be opened), at the
      // first read of the pass, and in the pass's last, partial chunk.
      {"check: head unreadable",
       Op::kCheck,
       stamped,
       {.failReadsFrom = 0},
       kCannotOpen,
       "0x00000000",
       stamped},
      {"reset: head unreadable",
       Op::kReset,
       stamped,
       {.failReadsFrom = 0},
       kCannotOpen,
       "0x00000000",
       stamped},
      {"check: pass unreadable",
       Op::kCheck,
       stamped,
       {.failReadsFrom = 253},
       kCannotOpen,
       "0x00000000",
       stamped},
      {"set: last chunk unreadable",
       Op::kSet,
       plain,
       {.failReadsFrom = kChunk + 1000},
       kCannotOpen,
       "0x00000000",
       plain},
      // A write that stores nothing and reports no error must not be retried forever.
      {"set: writes store nothing",
       Op::kSet,
       plain,
       {.writesStoreNothing = true},
       kCannotOpen,
       "0x00000000",
       plain},
      {"reset: writes store nothing",
       Op::kReset,
       stamped,
       {.writesStoreNothing = true},
       kCannotOpen,
       "0x00000000",
       stamped},
      // The file's state cannot be had: at the pre-check, after the pass, after the write.
      {"set: no stamp at the start", Op::kSet, plain, {.failStampCall = 1}, kCannotOpen, "", plain},
      {"check: no stamp after the pass",
       Op::kCheck,
       stamped,
       {.failStampCall = 2},
       kCannotOpen,
       "0x00000000",
       stamped},
      {"set: no stamp after the write",
       Op::kSet,
       plain,
       {.failStampCall = 3},
       kCannotOpen,
       "0x00000000",
       plain},
      // Writers that ignore the lock: an append between the pass and the write would have
      // had set stamp a CRC of content the file no longer holds.
      {"set: appended before the write",
       Op::kSet,
       plain,
       {.appendAtFirstWrite = tail},
       kCannotOpen,
       "0x00000000",
       plain + std::string(tail)},
      {"reset: appended before the write",
       Op::kReset,
       stamped,
       {.appendAtFirstWrite = tail},
       kCannotOpen,
       "0x00000000",
       stamped + std::string(tail)},
      // The digits cannot be made durable: the head goes back as it was, flushed in its turn.
      {"set: flush fails", Op::kSet, plain, {.failFlushes = 1}, kCannotOpen, "0x00000000", plain},
      {"reset: flush fails",
       Op::kReset,
       stamped,
       {.failFlushes = 1},
       kCannotOpen,
       "0x00000000",
       stamped},
      {"set: the restore's flush fails too",
       Op::kSet,
       plain,
       {.failFlushes = 2},
       kCannotOpen,
       "0x00000000",
       plain},
      {"set: cut during the pass",
       Op::kSet,
       plain,
       {.truncateAtPassTo = 1000},
       kCannotOpen,
       "0x00000000",
       plain.substr(0, 1000)},
  };
  for (const Case& c : cases) {
    ScriptedFile::reset(c.before, c.script);
    OperationInfo info;
    EXPECT_EQ(run(c.op, info), c.code) << c.what;
    EXPECT_EQ(info.crcText, c.crcText) << c.what;
    EXPECT_TRUE(ScriptedFile::content == c.after)
        << c.what << ": " << firstDifference(ScriptedFile::content, c.after);
    if (c.op == Op::kCheck) {
      EXPECT_EQ(ScriptedFile::writes, 0) << c.what;
    }
    // An OK leaves nothing on the way to the disk; nor does a restore whose flush worked.
    if (c.code == kOk || c.script.failFlushes == 1) {
      EXPECT_FALSE(ScriptedFile::unflushed) << c.what;
    }
  }
}

// A writer that ignores the lock and changes the head around the field after it was read keeps
// its change: only the eight digits are written, and only they are put back after a failure.
TEST(FaultInjection, AChangeBesideTheDigitsSurvivesTheWriteAndTheRestore) {
  const std::string plain = dataFile(1000);
  const std::string digits = crcOf(plain).substr(2);
  const std::string stamped = withDigits(plain, digits);
  const struct {
    const char* what;
    Op op;
    const std::string& before;
    int failFlushes;
    int32_t code;
    std::string_view digitsAfter;
  } cases[] = {
      {"set", Op::kSet, plain, 0, kOk, digits},
      {"reset", Op::kReset, stamped, 0, kOk, "00000000"},
      {"set, restored", Op::kSet, plain, 1, kCannotOpen, "00000000"},
      {"reset, restored", Op::kReset, stamped, 1, kCannotOpen, digits},
  };
  for (const auto& c : cases) {
    ScriptedFile::reset(c.before, {.failFlushes = c.failFlushes, .changeHeadAtFirstWrite = true});
    OperationInfo info;
    EXPECT_EQ(run(c.op, info), c.code) << c.what;
    std::string expected = withDigits(c.before, c.digitsAfter);
    expected[0] = expected[251] = '#';
    EXPECT_TRUE(ScriptedFile::content == expected)
        << c.what << ": " << firstDifference(ScriptedFile::content, expected);
    EXPECT_FALSE(ScriptedFile::unflushed) << c.what;
  }
}

}  // namespace
}  // namespace korvale
