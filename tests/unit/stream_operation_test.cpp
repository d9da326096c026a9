// The operation on bytes handed over in order gives what the file operation gives for the same
// file: the outcome, and for a set or reset the head block the file then holds.
#include "stream_operation.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "test_files.h"

namespace korvale {
namespace {

using testing::dataFile;
using testing::readFile;
using testing::ScratchDir;
using testing::writeFile;

std::span<const uint8_t> bytesOf(std::string_view text) {
  return {reinterpret_cast<const uint8_t*>(text.data()), text.size()};
}

// The stream fed in pieces of `piece` bytes, as a page reads a file in chunks.
Outcome streamed(Operation operation, std::string_view content, std::size_t piece,
                 std::string& head) {
  StreamOperation stream(operation, bytesOf(content.substr(0, kHeadBlockSize)));
  for (std::size_t at = kHeadBlockSize; stream.wantsContent() && at < content.size(); at += piece) {
    stream.feed(bytesOf(content.substr(at, piece)));
  }
  Outcome outcome = stream.finish();
  head.assign(reinterpret_cast<const char*>(stream.head().data()), kHeadBlockSize);
  return outcome;
}

TEST(StreamOperation, GivesWhatTheFileOperationGives) {
  const std::string plain = dataFile(100'000);
  std::string stamped = plain;
  stamped.replace(69, 8, "0BADF00D");
  const std::vector<std::string> contents = {
      plain,
      stamped,
      dataFile(252),
      dataFile(5000, R"(CRC32="0x12345678")", 200),
      dataFile(600, "no field"),
      dataFile(600, R"(crc32="0X00000000")"),  // malformed: 12 for a check, 13 otherwise
      dataFile(600, R"(crc32="0x00000000)"),
      dataFile(251),
      "",
  };
  ScratchDir dir;
  const std::string path = dir.path("data.xml");
  for (const Operation operation : {Operation::kCheck, Operation::kSet, Operation::kReset}) {
    for (std::size_t i = 0; i < contents.size(); ++i) {
      SCOPED_TRACE(::testing::Message()
                   << "operation " << static_cast<int>(operation) << ", file " << i);
      writeFile(path, contents[i]);
      const Outcome expected = runOperation(operation, path, {});
      const std::string after = readFile(path);
      for (const std::size_t piece : {std::size_t{1000}, std::size_t{1 << 20}}) {
        std::string head;
        const Outcome got = streamed(operation, contents[i], piece, head);
        EXPECT_EQ(got.code, expected.code);
        EXPECT_EQ(got.crcText, expected.crcText);
        EXPECT_EQ(got.stored, expected.stored);
        EXPECT_EQ(got.computed, expected.computed);
        if (got.code == kOk && operation != Operation::kCheck) {
          EXPECT_EQ(head, after.substr(0, kHeadBlockSize));
        }
      }
      // A check after a set or reset: the stream agrees on the file as it now is.
      if (operation != Operation::kCheck && expected.code == kOk) {
        std::string head;
        EXPECT_EQ(streamed(Operation::kCheck, after, 4096, head).code,
                  runOperation(Operation::kCheck, path, {}).code);
      }
    }
  }
}

TEST(StreamOperation, AFileThatCannotBeReadGivesWhatAnUnopenedFileGives) {
  ScratchDir dir;
  for (const Operation operation : {Operation::kCheck, Operation::kSet, Operation::kReset}) {
    const Outcome expected = runOperation(operation, dir.path("missing.xml"), {});
    const Outcome got = StreamOperation::unopened(operation);
    EXPECT_EQ(got.code, expected.code);
    EXPECT_EQ(got.crcText, expected.crcText);
    EXPECT_EQ(got.stored, expected.stored);
    EXPECT_EQ(got.computed, expected.computed);
  }
  // Cut short during the pass: 21 with the fail-safe text, the stored field as read.
  const std::string content = dataFile(2000, R"(crc32="0x0BADF00D")");
  StreamOperation check(Operation::kCheck, bytesOf(content.substr(0, kHeadBlockSize)));
  ASSERT_TRUE(check.wantsContent());
  check.feed(bytesOf(content.substr(kHeadBlockSize, 100)));
  const Outcome failed = check.fail();
  EXPECT_EQ(failed.code, kCannotOpen);
  EXPECT_EQ(failed.crcText, kFailSafeCRC32);
  EXPECT_EQ(failed.stored, "0x0BADF00D");
  EXPECT_EQ(failed.computed, "");
}

}  // namespace
}  // namespace korvale
