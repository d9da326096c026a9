// The help launcher's platform operations on Win32: the registry, environment expansion,
// module loading and the call into the HTML Help control.
#include <windows.h>

#include <cstring>

#include "viewer_platform.h"

namespace tavisk {
namespace {

// HtmlHelpA as the control exports it.
using HtmlHelpFunction = HWND(WINAPI*)(HWND owner, LPCSTR file, UINT command, DWORD_PTR data);

class Win32ViewerPlatform final : public ViewerPlatform {
 public:
  WindowHandle desktopWindow() noexcept override { return GetDesktopWindow(); }

  bool openClassesRootKey(const char* subKey, KeyHandle& key) noexcept override {
    HKEY opened = nullptr;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, subKey, 0, KEY_READ, &opened) != ERROR_SUCCESS) {
      return false;
    }
    key = opened;
    return true;
  }

  bool readDefaultValue(KeyHandle key, uint32_t& type, char* buffer,
                        uint32_t& size) noexcept override {
    DWORD valueType = 0;
    DWORD valueSize = size;
    const LONG status = RegQueryValueExA(static_cast<HKEY>(key), nullptr, nullptr, &valueType,
                                         reinterpret_cast<BYTE*>(buffer), &valueSize);
    type = valueType;
    size = valueSize;
    return status == ERROR_SUCCESS;
  }

  void closeKey(KeyHandle key) noexcept override { RegCloseKey(static_cast<HKEY>(key)); }

  uint32_t expandEnvironmentStrings(const char* source, char* destination,
                                    uint32_t size) noexcept override {
    return ExpandEnvironmentStringsA(source, destination, size);
  }

  ModuleHandle loadModule(const char* path) noexcept override { return LoadLibraryA(path); }

  // A file of this name planted beside the calling program or in the current directory must
  // never be loaded in place of the system's.
  ModuleHandle loadSystemModule(const char* fileName) noexcept override {
    HMODULE module = LoadLibraryExA(fileName, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (module || GetLastError() != ERROR_INVALID_PARAMETER) return module;

    // A system without the search flags refuses them as invalid: name the file in the system
    // directory in full, and let its own imports be found from there.
    char path[kPathSize];
    const UINT length = GetSystemDirectoryA(path, kPathSize);
    const std::size_t nameLength = std::strlen(fileName);
    if (length == 0 || length + 1 + nameLength >= kPathSize) return nullptr;
    path[length] = '\\';
    std::memcpy(path + length + 1, fileName, nameLength + 1);
    return LoadLibraryExA(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  }

  EntryAddress findExport(ModuleHandle module, uint16_t ordinal) noexcept override {
    return reinterpret_cast<EntryAddress>(
        GetProcAddress(static_cast<HMODULE>(module), MAKEINTRESOURCEA(ordinal)));
  }

  WindowHandle callViewer(EntryAddress entry, WindowHandle owner, const char* helpFile,
                          uint32_t command, uintptr_t data) noexcept override {
    return reinterpret_cast<HtmlHelpFunction>(entry)(static_cast<HWND>(owner), helpFile, command,
                                                     data);
  }
};

}  // namespace

ViewerPlatform& systemViewerPlatform() noexcept {
  // Stateless and constant-initialised: no construction at load, nothing to tear down.
  static Win32ViewerPlatform platform;
  return platform;
}

}  // namespace tavisk
