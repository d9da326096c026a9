// The plug-in's seam to the platform: everything the stack, the lock and the exports ask of the
// system. platform_win32.cpp holds the real calls; the tests put an emulated host behind it.
// Internal to the plug-in.
#pragma once

#include <cstddef>
#include <cstdint>

#include "pelwick.h"

namespace korvale::pelwick {

// The allocator pair the host uses for stack entries; blocks cross between host and plug-in.
class HostHeap {
 public:
  virtual ~HostHeap() = default;
  // A fixed, zero-filled block (GlobalAlloc with GPTR), or null when the heap refuses.
  virtual void* globalAlloc(std::size_t bytes) noexcept = 0;
  virtual void globalFree(void* block) noexcept = 0;
};

// A named section's handle; null when the platform refused it.
using Section = void*;

class Platform : public HostHeap {
 public:
  // Creates or opens the 4-byte, paging-file-backed section of that name, read and write.
  virtual Section createSection(const pelwick_char* name) noexcept = 0;
  virtual void closeSection(Section section) noexcept = 0;
  // The whole section mapped for writing, or null.
  virtual int32_t* mapView(Section section) noexcept = 0;
  virtual void unmapView(int32_t* view) noexcept = 0;
  // One atomic step on the shared word, visible to every process that maps it: when *target
  // equals `expected` it becomes `desired`. Returns the value *target held before.
  virtual int32_t compareExchange(int32_t* target, int32_t desired, int32_t expected) noexcept = 0;
  virtual unsigned driveType(const pelwick_char* path) noexcept = 0;
  // Writes the text, unchanged, to the C library's standard error stream.
  virtual void writeError(const char* message) noexcept = 0;
};

// The real platform and this module's handle, for the DLL's exports (platform_win32.cpp).
Platform& systemPlatform() noexcept;
void* thisModule() noexcept;

}  // namespace korvale::pelwick
