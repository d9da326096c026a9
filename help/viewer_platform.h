// The seam between the help launcher's loader and the platform: the operations the loader
// needs, so that it runs on Win32 in the DLL and on a fake in the tests. Internal to Tavisk.
#pragma once

#include <cstdint>

namespace tavisk {

// Opaque platform handles: HWND, HKEY and HMODULE on Win32.
using WindowHandle = void*;
using KeyHandle = void*;
using ModuleHandle = void*;
// An export's address, typed only when the platform calls it.
using EntryAddress = void (*)();

// Every path buffer of the launcher, terminating zero included.
inline constexpr uint32_t kPathSize = 260;

class ViewerPlatform {
 public:
  // The desktop window, owner of every viewer window.
  virtual WindowHandle desktopWindow() noexcept = 0;

  // Opens `subKey` below HKEY_CLASSES_ROOT for reading.
  virtual bool openClassesRootKey(const char* subKey, KeyHandle& key) noexcept = 0;
  // Reads the key's default (unnamed) value and its type into `buffer`. `size` holds the
  // buffer's size on entry and the value's on return. False on any failure, a value larger
  // than the buffer included.
  virtual bool readDefaultValue(KeyHandle key, uint32_t& type, char* buffer,
                                uint32_t& size) noexcept = 0;
  virtual void closeKey(KeyHandle key) noexcept = 0;

  // Expands environment-variable references of `source` into `destination` of `size`
  // bytes. Returns the size the result needs, terminating zero included, or 0 on failure.
  virtual uint32_t expandEnvironmentStrings(const char* source, char* destination,
                                            uint32_t size) noexcept = 0;

  // Loads a module from `path` as given, through the platform's ordinary search when it is
  // a bare name. Null on failure.
  virtual ModuleHandle loadModule(const char* path) noexcept = 0;
  // Loads the module `fileName` from the system directory, and from nowhere else.
  virtual ModuleHandle loadSystemModule(const char* fileName) noexcept = 0;
  // The module's export at `ordinal`, or null.
  virtual EntryAddress findExport(ModuleHandle module, uint16_t ordinal) noexcept = 0;

  // Calls the HTML Help entry point found at `entry` and returns its result.
  virtual WindowHandle callViewer(EntryAddress entry, WindowHandle owner, const char* helpFile,
                                  uint32_t command, uintptr_t data) noexcept = 0;

 protected:
  ~ViewerPlatform() = default;
};

// The running system's operations (viewer_platform_win32.cpp).
ViewerPlatform& systemViewerPlatform() noexcept;

}  // namespace tavisk
