// Others at the file while an operation holds it: a second program run is refused with 21, and
// a writer that ignores the lock cannot make an operation report OK for content the file no
// longer holds. Each interference is started from the operation's progress sink, so it falls
// inside the pass every time, with no timing involved.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "file_operations.h"
#include "other_process.h"
#include "test_files.h"

namespace korvale {
namespace {

using testing::dataFile;
using testing::readFile;
using testing::ScratchDir;
using testing::writeFile;

constexpr std::size_t kDigitsAt = 69;  // dataFile() puts the field at 60

// Runs `action` at the sink's first position read, once the pass has begun.
struct DuringThePass {
  std::function<void()> action;
  ProgressSink sink{this, &ignore, &ignore, &firstRead, &ignore};

  // Named functions, not lambdas: the callbacks use the library's calling convention.
  static void KORVALELIB_CALL ignore(void*, int32_t) {}
  static int32_t KORVALELIB_CALL firstRead(void* c) {
    auto& self = *static_cast<DuringThePass*>(c);
    if (self.action) std::exchange(self.action, nullptr)();
    return 0;
  }
};

std::string runProgram(const std::vector<std::string>& args) {
  return testing::runProgramBeside(KORVALE_PROGRAM, args);
}

std::string stamped(const std::string& plain) {
  OperationInfo info;
  ScratchDir dir;
  const std::string name = dir.path("reference.xml");
  writeFile(name, plain);
  setCRC32inFile(info, name, nullptr);
  return readFile(name);
}

TEST(Concurrency, AProgramRunWhileSetHoldsTheFileIsRefused) {
  ScratchDir dir;
  const std::string name = dir.path("shared.xml");
  writeFile(name, dataFile(600));
  std::vector<std::string> reports;
  DuringThePass interfere{[&] {
    for (const char* word : {"CHECK", "SET", "RESET"}) reports.push_back(runProgram({word, name}));
  }};
  OperationInfo info;
  EXPECT_EQ(setCRC32inFile(info, name, &interfere.sink), kOk);
  ASSERT_EQ(reports.size(), 3u);
  for (const std::string& report : reports) {
    EXPECT_NE(report.find("\r\nERROE: [21] "), std::string::npos) << report;
  }
  EXPECT_EQ(readFile(name), stamped(dataFile(600)));
  const std::string after = runProgram({"CHECK", name});
  EXPECT_NE(after.find("CRC32: " + info.crcText + "\r\nOK\r\n"), std::string::npos) << after;
}

// Natively the lock is advisory and the writer gets in: the change must be noticed. On Windows
// the file is opened with no sharing, so the writer cannot open it at all.
TEST(Concurrency, AWriterIgnoringTheLockCannotGetAWrongCrcAccepted) {
  const std::string plain = dataFile(8 << 20);
  const std::string good = stamped(plain);
  const std::string tail = "<Value unit=\"bar\">351</Value>\n";
  ScratchDir dir;
  const std::string name = dir.path("appended.xml");
  for (bool set : {true, false}) {
    const std::string before = set ? plain : good;
    writeFile(name, before);
    bool appended = false;
    DuringThePass interfere{[&] {
      std::thread writer([&] {
        std::ofstream out(name, std::ios::binary | std::ios::app);
        out << tail;
        out.close();
        appended = !out.fail();
      });
      writer.join();
    }};
    OperationInfo info;
    const int32_t code = set ? setCRC32inFile(info, name, &interfere.sink)
                             : checkCRC32inFile(info, name, &interfere.sink);
    const std::string after = readFile(name);
    if (appended) {
      EXPECT_EQ(code, kCannotOpen) << set;
      EXPECT_EQ(info.crcText, "0x00000000") << set;
      EXPECT_TRUE(after == before + tail) << set << ": the file was written";
    } else {
      EXPECT_EQ(code, kOk) << set;
      EXPECT_TRUE(after == good) << set << ": digits " << after.substr(kDigitsAt, 8);
    }
    EXPECT_EQ(appended, testing::kWritersCanOpenAHeldFile);
  }
}

}  // namespace
}  // namespace korvale
