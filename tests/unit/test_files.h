// Small data files made by the tests: a scratch folder per test and a builder for heads.
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>

#include "korvalelib.h"

namespace korvale::testing {

// A fresh folder, removed with everything in it when the object goes.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  // The path of `name` inside the folder, as the 8-bit string the library takes.
  std::string path(std::string_view name) const;

 private:
  std::filesystem::path dir_;
};

void writeFile(const std::string& path, std::string_view bytes);
std::string readFile(const std::string& path);

// `size` bytes of XML-like filler with `field` placed at offset `at`.
std::string dataFile(std::size_t size, std::string_view field = R"(crc32="0x00000000")",
                     std::size_t at = 60);

// Offsets where two contents differ, for "only the digits changed" checks.
std::string differingOffsets(std::string_view a, std::string_view b);

// A sink that tracks what a progress bar would show, without keeping every call.
struct BarModel {
  int32_t maximum = -1, position = 0, highest = 0;
  bool wentBackwards = false;  // a position below the one before, other than the reset to 0
  bool outOfRange = false;     // a position below 0 or above the maximum
  ProgressSink sink{this, &ignore, &setMaximum, &getPosition, &setPosition};

  void set(int32_t v) {
    wentBackwards |= v != 0 && v < position;
    outOfRange |= v < 0 || v > maximum;
    position = v;
    if (v > highest) highest = v;
  }

  // Named functions, not lambdas: the callbacks use the library's calling convention.
  static void KORVALELIB_CALL ignore(void*, int32_t) {}
  static void KORVALELIB_CALL setMaximum(void* c, int32_t v) {
    static_cast<BarModel*>(c)->maximum = v;
  }
  static int32_t KORVALELIB_CALL getPosition(void* c) {
    return static_cast<BarModel*>(c)->position;
  }
  static void KORVALELIB_CALL setPosition(void* c, int32_t v) { static_cast<BarModel*>(c)->set(v); }
};

}  // namespace korvale::testing
