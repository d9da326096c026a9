// The exported interface, called as a client calls it: through the public header and the
// shared library.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "korvalelib.h"
#include "test_files.h"

namespace {

using korvale::testing::dataFile;
using korvale::testing::ScratchDir;
using korvale::testing::writeFile;

CountedString counted(std::string_view text) {
  CountedString s;
  std::memset(&s, '#', sizeof s);
  s.length = static_cast<unsigned char>(text.size());
  std::memcpy(s.text, text.data(), text.size());
  return s;
}

std::string text(const CountedString& s) { return {s.text, s.length}; }

template <typename Getter>
std::string get(Getter getter) {
  CountedString result;
  std::memset(&result, '#', sizeof result);
  getter(&result);
  // Nothing beyond the characters is written.
  for (std::size_t i = result.length; i < sizeof result.text; ++i) {
    EXPECT_EQ(result.text[i], '#') << "byte " << i + 1 << " written";
  }
  return text(result);
}

// Must run first: the record as the library leaves it on load.
TEST(Exports, RecordIsEmptyRightAfterLoad) {
  EXPECT_EQ(DUDO66413_getInfoErrorCode(), 0);
  EXPECT_EQ(get(DUDO66413_getInfoErrorString), "OK");
  EXPECT_EQ(get(DUDO66413_getInfoCommandFile), "");
  EXPECT_EQ(get(DUDO66413_getInfoCRC32), "");
}

TEST(Exports, ConstantTexts) {
  EXPECT_EQ(get(DUDO66413_getShortName), "DUDO66413_2011-11");
  EXPECT_EQ(get(DUDO66413_getFullName), "Korvale");
  EXPECT_EQ(get(DUDO66413_getVersion), "1.0.20120528");
  EXPECT_EQ(get(DUDO66413_getFailSafeCRC32), "0x00000000");
  EXPECT_EQ(get(DUDO66413_getInfoHeader), "Korvale [1.0.20120528]");
}

TEST(Exports, OperationsFillTheRecordAndResetEmptiesIt) {
  ScratchDir dir;
  const std::string path = dir.path("data.xml");
  writeFile(path, dataFile(600));
  const CountedString name = counted(path);

  EXPECT_EQ(DUDO66413_setCRC32inFile(&name, nullptr), 0);
  const std::string crc = get(DUDO66413_getInfoCRC32);
  EXPECT_EQ(crc.size(), 10u);
  EXPECT_EQ(DUDO66413_checkCRC32inFile(&name, nullptr), 0);
  EXPECT_EQ(get(DUDO66413_getInfoCRC32), crc);
  EXPECT_EQ(get(DUDO66413_getInfoCommandFile),
            "CHECK ..." + (path.size() > 60 ? path.substr(path.size() - 60) : path));

  EXPECT_EQ(DUDO66413_resetCRC32inFile(&name, nullptr), 0);
  EXPECT_EQ(DUDO66413_checkCRC32inFile(&name, nullptr), 1);
  EXPECT_EQ(DUDO66413_getInfoErrorCode(), 1);
  EXPECT_EQ(get(DUDO66413_getInfoErrorString), "ERROR: [01] CRC is empty");

  const CountedString missing = counted(dir.path("missing.xml"));
  EXPECT_EQ(DUDO66413_setCRC32inFile(&missing, nullptr), 21);
  EXPECT_EQ(get(DUDO66413_getInfoErrorString),
            "ERROE: [21] Could not open file exclusive for ReadWrite.");
  EXPECT_EQ(get(DUDO66413_getInfoCRC32), "");

  DUDO66413_reset();
  EXPECT_EQ(DUDO66413_getInfoErrorCode(), 0);
  EXPECT_EQ(get(DUDO66413_getInfoErrorString), "OK");
  EXPECT_EQ(get(DUDO66413_getInfoCommandFile), "");
  EXPECT_EQ(get(DUDO66413_getInfoCRC32), "");
}

TEST(Exports, FileNameArgumentIsNotWritten) {
  const CountedString name = counted(std::string(255, 'q'));
  const CountedString before = name;
  EXPECT_EQ(DUDO66413_checkCRC32inFile(&name, nullptr), 21);
  EXPECT_EQ(std::memcmp(&name, &before, sizeof name), 0);
  EXPECT_EQ(get(DUDO66413_getInfoCommandFile), "CHECK ..." + std::string(60, 'q'));
}

struct CallCounter {
  int calls = 0;
  static void KORVALELIB_CALL set(void* c, int32_t) { ++static_cast<CallCounter*>(c)->calls; }
  static int32_t KORVALELIB_CALL position(void* c) {
    ++static_cast<CallCounter*>(c)->calls;
    return 0;
  }
};

TEST(Exports, SinkIsCalledBySetAndNeverByReset) {
  ScratchDir dir;
  const std::string path = dir.path("sink.xml");
  writeFile(path, dataFile(600));
  const CountedString name = counted(path);
  CallCounter counter;
  const ProgressSink sink{&counter, &CallCounter::set, &CallCounter::set, &CallCounter::position,
                          &CallCounter::set};
  EXPECT_EQ(DUDO66413_resetCRC32inFile(&name, &sink), 0);
  EXPECT_EQ(counter.calls, 0);
  EXPECT_EQ(DUDO66413_setCRC32inFile(&name, &sink), 0);
  EXPECT_EQ(counter.calls, 8);
}

}  // namespace
