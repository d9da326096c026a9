// The CRC engine: its table, worked values, text form, and every path against the reference.
#include "CRC32.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <random>
#include <string>
#include <string_view>
#include <vector>

namespace korvale {
namespace {

TEST(Crc32, TableHasTheStandardReflectedEntries) {
  EXPECT_EQ(kCrcTable[0], 0u);
  EXPECT_EQ(kCrcTable[1], 0x77073096u);
  EXPECT_EQ(kCrcTable[255], 0x2D02EF8Du);
}

TEST(Crc32, WorkedValues) {
  struct Case {
    std::string_view input, text;
  } cases[] = {{"", "0xFFFFFFFF"}, {"abc", "0xCADBBE3D"}, {"123456789", "0x340BC6D9"}};
  for (const Case& c : cases) {
    tCRC32 engine;
    engine.updateCRC32(c.input.data(), static_cast<int32_t>(c.input.size()));
    EXPECT_EQ(engine.getCRC32(), c.text) << c.input;
    EXPECT_EQ(engine.getCRC32(), c.text) << "getCRC32 must not change the register";
  }
}

TEST(Crc32, TextFormIsTenCharactersUppercaseUnsigned) {
  EXPECT_EQ(formatCrcText(0), "0x00000000");
  EXPECT_EQ(formatCrcText(0x80000000u), "0x80000000");
  EXPECT_EQ(formatCrcText(0x00ABCDEFu), "0x00ABCDEF");
  EXPECT_EQ(formatCrcText(0xFFFFFFFFu), "0xFFFFFFFF");
}

TEST(Crc32, SplitFeedingEqualsOneShotAndNonPositiveCountsFeedNothing) {
  std::vector<uint8_t> data(252);
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 7 + 3);
  tCRC32 once, split;
  once.updateCRC32(data.data(), 252);
  split.updateCRC32(data.data(), 100);
  split.updateCRC32(data.data() + 100, 0);
  split.updateCRC32(data.data() + 100, -5);
  split.updateCRC32(data.data() + 100, 100);
  split.updateCRC32(data.data() + 200, 52);
  EXPECT_EQ(once.getCRC32(), split.getCRC32());

  split.initCRC32();
  EXPECT_EQ(split.getCRC32(), "0xFFFFFFFF");
}

// Every engine this processor runs, and the dispatching update, against the reference: random
// lengths from every alignment, lengths around the engines' block sizes, a large buffer, and
// any start register (the register is raw, with no complement on the way in or out).
TEST(Crc32, EveryEngineMatchesTheReference) {
  std::mt19937 random(66413);
  std::vector<uint8_t> data(1 << 20);
  for (auto& b : data) b = static_cast<uint8_t>(random());
  const uint32_t fullRegister = crc32UpdateBytewise(0xFFFFFFFFu, data);

  std::vector<CrcEngine> engines(crcEngines().begin(), crcEngines().end());
  engines.push_back({"crc32Update", &crc32Update});
  ASSERT_GE(engines.size(), 3u) << "the reference, slicing-by-16 and the dispatcher at least";
  EXPECT_EQ(crcEngines().front().name, "bytewise");
  // Which paths this processor reached; the last one serves crc32Update.
  std::string names;
  for (const CrcEngine& engine : crcEngines()) names += " " + std::string(engine.name);
  std::printf("CRC engines on this processor:%s\n", names.c_str());
  for (const CrcEngine& engine : engines) {
    SCOPED_TRACE(std::string(engine.name));
    for (std::size_t offset = 0; offset < 64; ++offset) {
      for (std::size_t length :
           {0, 1, 15, 16, 17, 63, 64, 65, 79, 80, 255, 256, 257, 319, 320, 511, 512}) {
        auto piece = std::span<const uint8_t>(data).subspan(offset, length);
        const uint32_t start = static_cast<uint32_t>(random());
        ASSERT_EQ(engine.update(start, piece), crc32UpdateBytewise(start, piece))
            << "offset " << offset << ", length " << length;
      }
    }
    std::uniform_int_distribution<std::size_t> offset(0, 63), length(0, 4096);
    for (int round = 0; round < 2000; ++round) {
      auto piece = std::span<const uint8_t>(data).subspan(offset(random), length(random));
      const uint32_t start = static_cast<uint32_t>(random());
      ASSERT_EQ(engine.update(start, piece), crc32UpdateBytewise(start, piece))
          << "length " << piece.size();
    }
    EXPECT_EQ(engine.update(0xFFFFFFFFu, data), fullRegister);

    // Fed in random pieces, the register comes out as from one call.
    uint32_t reg = 0xFFFFFFFFu;
    for (std::size_t at = 0; at < data.size();) {
      const std::size_t n = std::min(length(random), data.size() - at);
      reg = engine.update(reg, std::span<const uint8_t>(data).subspan(at, n));
      at += n;
    }
    EXPECT_EQ(reg, fullRegister);
  }
}

#if defined(__x86_64__) || defined(__i386__)
// The test above covers the paths offered, so each one the processor can run must be offered:
// a path left out by a slip in the feature checks would go untested as well as unused.
TEST(Crc32, EveryPathTheProcessorRunsIsOffered) {
  __builtin_cpu_init();
  const bool clmul = __builtin_cpu_supports("pclmul");
  const bool vpclmul = clmul && __builtin_cpu_supports("vpclmulqdq");
  struct Path {
    std::string_view name;
    bool runs;
  } paths[] = {
      {"pclmulqdq", clmul},
      {"vpclmulqdq-avx2", vpclmul && __builtin_cpu_supports("avx2")},
      {"vpclmulqdq-avx512", vpclmul && __builtin_cpu_supports("avx512f")},
  };
  std::string offered;
  for (const CrcEngine& engine : crcEngines()) offered += " " + std::string(engine.name);
  for (const Path& path : paths) {
    const bool found =
        std::any_of(crcEngines().begin(), crcEngines().end(),
                    [&](const CrcEngine& engine) { return engine.name == path.name; });
    EXPECT_EQ(found, path.runs) << path.name << " (offered:" << offered << ")";
  }
  RecordProperty("paths", offered);
}
#endif

}  // namespace
}  // namespace korvale
