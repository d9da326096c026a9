// A sparse file of more than 4 GiB: offsets and sizes past 32 bits, and a progress bar that
// must scale such a size into its 32-bit range. The expected CRC is computed here on its own
// route: bit by bit for the head, by squaring the zero-bit step for the hole.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
#include <string>

#include "file_operations.h"
#include "test_files.h"

namespace korvale {
namespace {

using testing::dataFile;
using testing::readFile;
using testing::ScratchDir;
using testing::writeFile;

constexpr uint32_t kPolynomial = 0xEDB88320u;

uint32_t feedBits(uint32_t reg, std::string_view bytes) {
  for (unsigned char b : bytes) {
    reg ^= b;
    for (int bit = 0; bit < 8; ++bit) reg = (reg >> 1) ^ ((reg & 1u) ? kPolynomial : 0u);
  }
  return reg;
}

// Feeding zeros is linear in the register: a 32x32 bit matrix, column i the image of bit i.
using Matrix = std::array<uint32_t, 32>;

uint32_t times(const Matrix& m, uint32_t v) {
  uint32_t result = 0;
  for (int i = 0; v != 0; ++i, v >>= 1) {
    if (v & 1u) result ^= m[i];
  }
  return result;
}

Matrix square(const Matrix& m) {
  Matrix result;
  for (int i = 0; i < 32; ++i) result[i] = times(m, m[i]);
  return result;
}

uint32_t feedZeros(uint32_t reg, uint64_t count) {
  Matrix step;  // one zero bit
  step[0] = kPolynomial;
  for (int i = 1; i < 32; ++i) step[i] = 1u << (i - 1);
  for (int i = 0; i < 3; ++i) step = square(step);  // one zero byte
  for (; count != 0; count >>= 1, step = square(step)) {
    if (count & 1u) reg = times(step, reg);
  }
  return reg;
}

std::string crcText(uint32_t reg) {
  char text[11];
  std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(reg));
  return text;
}

TEST(LargeFile, SparseFileBeyondFourGigabytes) {
  ASSERT_EQ(feedZeros(0x12345678u, 1000), feedBits(0x12345678u, std::string(1000, '\0')));

  ScratchDir dir;
  const std::string name = dir.path("huge.xml");
  const std::string head = dataFile(600);
  const uint64_t size = (uint64_t{1} << 32) + 1000;
  writeFile(name, head);
  std::filesystem::resize_file(name, size);

  std::string zeroed = head;
  zeroed.replace(69, 8, "00000000");
  const std::string expected = crcText(feedZeros(feedBits(0xFFFFFFFFu, zeroed), size - 600));

  testing::BarModel bar;
  OperationInfo info;
  ASSERT_EQ(setCRC32inFile(info, name, &bar.sink), kOk);
  EXPECT_EQ(info.crcText, expected);
  EXPECT_EQ(std::filesystem::file_size(name), size);
  std::string after = head;
  after.replace(69, 8, expected.substr(2));
  EXPECT_EQ(readFile(name).substr(0, 600), after);

  EXPECT_GT(bar.maximum, 0);
  EXPECT_FALSE(bar.outOfRange);
  // Progress counts the bytes after the head: it ends 252 bytes, 63 units of 4, short of the end.
  EXPECT_GE(bar.highest, bar.maximum - 63) << "the bar runs to its end";
  EXPECT_EQ(bar.position, 0);
}

}  // namespace
}  // namespace korvale
