// The real platform behind the plug-in's seam. The build's UNICODE setting picks the A or W
// form of the text calls, matching the host's text.
#include <windows.h>

#include <cstdio>

#include "platform.h"

// The linker's symbol for the start of this module's image: its module handle.
extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace korvale::pelwick {
namespace {

class Win32Platform final : public Platform {
 public:
  void* globalAlloc(std::size_t bytes) noexcept override { return GlobalAlloc(GPTR, bytes); }
  void globalFree(void* block) noexcept override { GlobalFree(block); }

  Section createSection(const pelwick_char* name) noexcept override {
    return CreateFileMapping(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, sizeof(int32_t),
                             name);
  }
  void closeSection(Section section) noexcept override { CloseHandle(section); }
  int32_t* mapView(Section section) noexcept override {
    return static_cast<int32_t*>(MapViewOfFile(section, FILE_MAP_WRITE, 0, 0, 0));
  }
  void unmapView(int32_t* view) noexcept override { UnmapViewOfFile(view); }
  int32_t compareExchange(int32_t* target, int32_t desired, int32_t expected) noexcept override {
    static_assert(sizeof(LONG) == sizeof(int32_t));
    return InterlockedCompareExchange(reinterpret_cast<volatile LONG*>(target), desired, expected);
  }

  unsigned driveType(const pelwick_char* path) noexcept override { return GetDriveType(path); }
  void writeError(const char* message) noexcept override { std::fputs(message, stderr); }
};

constinit Win32Platform platform;

}  // namespace

Platform& systemPlatform() noexcept { return platform; }

void* thisModule() noexcept { return &__ImageBase; }

}  // namespace korvale::pelwick
