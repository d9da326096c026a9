// Memory that cannot be had, at each allocation an operation makes. This program replaces the
// global allocator with one that can be told to refuse the n-th request from now on, once or
// from then on; the operations are run with n = 1, 2, ... until one makes fewer requests.
// Whatever is refused, the outcome is the right one or 21, the record agrees with it, and the
// file changes only as a successful operation changes it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <string>

#include "CRC32.h"
#include "file_operations.h"
#include "test_files.h"

namespace {

struct Refusals {
  bool armed = false;
  bool persistent = false;       // every request after the first refused one is refused too
  long countdown = 0;            // requests left before the one refused
  std::size_t firstRefused = 0;  // the size of the first refused request, 0 while none was
};
Refusals refusals;

void arm(long n, bool persistent) { refusals = {true, persistent, n, 0}; }

}  // namespace

namespace {

// A block of any alignment out of malloc: the address malloc gave lies just before the block,
// so that every form of delete can hand it back.
void* allocate(std::size_t size, std::align_val_t alignment = std::align_val_t{16}) {
  if (refusals.armed &&
      (--refusals.countdown == 0 || (refusals.countdown < 0 && refusals.persistent))) {
    if (refusals.firstRefused == 0) refusals.firstRefused = size;
    throw std::bad_alloc();
  }
  const auto align = static_cast<std::uintptr_t>(alignment);
  void* raw = std::malloc(size + align + sizeof(void*));
  if (!raw) throw std::bad_alloc();
  const std::uintptr_t block =
      (reinterpret_cast<std::uintptr_t>(raw) + sizeof(void*) + align - 1) & ~(align - 1);
  reinterpret_cast<void**>(block)[-1] = raw;
  return reinterpret_cast<void*>(block);
}

void* allocateOrNull(std::size_t size, std::align_val_t alignment) noexcept {
  try {
    return allocate(size, alignment);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

void release(void* block) noexcept {
  if (block) std::free(static_cast<void**>(block)[-1]);
}

constexpr std::align_val_t kPlain{16};

}  // namespace

// Every form the library may use, so that none reaches the runtime's own (a sanitizer's
// runtime brings its own of each).
void* operator new(std::size_t size) { return allocate(size); }
void* operator new[](std::size_t size) { return allocate(size); }
void* operator new(std::size_t size, std::align_val_t align) { return allocate(size, align); }
void* operator new[](std::size_t size, std::align_val_t align) { return allocate(size, align); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  return allocateOrNull(size, kPlain);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
  return allocateOrNull(size, kPlain);
}
void* operator new(std::size_t size, std::align_val_t align, const std::nothrow_t&) noexcept {
  return allocateOrNull(size, align);
}
void* operator new[](std::size_t size, std::align_val_t align, const std::nothrow_t&) noexcept {
  return allocateOrNull(size, align);
}
void operator delete(void* block) noexcept { release(block); }
void operator delete[](void* block) noexcept { release(block); }
void operator delete(void* block, std::size_t) noexcept { release(block); }
void operator delete[](void* block, std::size_t) noexcept { release(block); }
void operator delete(void* block, std::align_val_t) noexcept { release(block); }
void operator delete[](void* block, std::align_val_t) noexcept { release(block); }
void operator delete(void* block, std::size_t, std::align_val_t) noexcept { release(block); }
void operator delete[](void* block, std::size_t, std::align_val_t) noexcept { release(block); }

namespace korvale {
namespace {

using testing::dataFile;
using testing::readFile;
using testing::ScratchDir;
using testing::writeFile;
using namespace std::literals;

constexpr std::size_t kDigitsAt = 69;  // dataFile() puts the field at 60

std::string withDigits(std::string content, std::string_view digits) {
  return content.replace(kDigitsAt, 8, digits);
}

// The reference CRC, computed without the library's engines (which allocate their list).
std::string crcOf(std::string content) {
  std::fill_n(content.begin() + kDigitsAt, 8, '0');
  return formatCrcText(crc32UpdateBytewise(
      0xFFFFFFFFu, {reinterpret_cast<const uint8_t*>(content.data()), content.size()}));
}

TEST(AllocationFailure, EveryRefusedAllocationGivesTheRightAnswerOr21) {
  ScratchDir dir;
  // A long name, so that storing it takes memory; a file of several small-buffer reads.
  const std::string name = dir.path(std::string(80, 'n') + ".xml");
  const std::string plain = dataFile(kReadChunk + 5000);
  const std::string crc = crcOf(plain);
  const std::string stamped = withDigits(plain, crc.substr(2));

  struct Case {
    const char* what;
    const char* command;
    std::string before, after;  // the file, and what a successful operation leaves
    std::string crcText;        // after success
    int32_t (*run)(OperationInfo&, const std::string&, const ProgressSink*);
  } cases[] = {
      {"check", "CHECK ...", stamped, stamped, crc,
       [](OperationInfo& info, const std::string& n, const ProgressSink* sink) {
         return checkCRC32inFile(info, n, sink);
       }},
      {"set", "SET ...", plain, stamped, crc,
       [](OperationInfo& info, const std::string& n, const ProgressSink* sink) {
         return setCRC32inFile(info, n, sink);
       }},
      {"reset", "RESET ...", stamped, plain, "0x00000000",
       [](OperationInfo& info, const std::string& n, const ProgressSink*) {
         return resetCRC32inFile(info, n);
       }},
  };
  for (const Case& c : cases) {
    for (bool persistent : {false, true}) {
      int refusedRuns = 0;
      for (long n = 1;; ++n) {
        const std::string what = std::string(c.what) +
                                 (persistent ? ", from request " : ", request ") +
                                 std::to_string(n) + " on";
        writeFile(name, c.before);
        OperationInfo info{"stale", "stale", 99};
        testing::BarModel bar;
        arm(n, persistent);
        const int32_t code = c.run(info, name, &bar.sink);
        const Refusals seen = std::exchange(refusals, {});
        if (seen.firstRefused == 0) break;  // fewer requests than n: every one was refused once
        ++refusedRuns;

        EXPECT_EQ(info.errorCode, code) << what;
        EXPECT_TRUE(info.commandText == c.command + name.substr(name.size() - 60) ||
                    info.commandText == c.command)
            << what << ": " << info.commandText;
        const std::string after = readFile(name);
        if (code == kOk) {
          EXPECT_EQ(info.crcText, c.crcText) << what;
          EXPECT_TRUE(after == c.after) << what;
        } else {
          EXPECT_EQ(code, kCannotOpen) << what;
          // A set that gives 21 before reading the file leaves the CRC text empty.
          EXPECT_TRUE(info.crcText == "0x00000000" ||
                      (c.command == "SET ..."sv && info.crcText.empty()))
              << what << ": " << info.crcText;
          EXPECT_TRUE(after == c.before) << what << ": the file changed";
        }
        // Without the large read buffer the pass reads into the stack, to the same end.
        if (seen.firstRefused == kReadChunk) {
          EXPECT_EQ(code, kOk) << what << ": the read buffer was refused";
          EXPECT_EQ(bar.highest, bar.maximum - 252) << what;
        }
      }
      EXPECT_GE(refusedRuns, 3) << c.what << ": the name, the file and the buffer at least";
    }
  }
}

}  // namespace
}  // namespace korvale
