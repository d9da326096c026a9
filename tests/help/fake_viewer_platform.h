// A scripted ViewerPlatform for the loader's tests: a registry value, an environment and
// modules set up by the test, and a log of every operation the loader performs, in order.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "viewer_platform.h"

namespace tavisk {

struct RegistryValue {
  uint32_t type;
  std::string bytes;  // stored as given, terminating zero only if the test puts one
};

// The path the platform registers on a typical system.
inline const std::string kRegisteredPath = "C:\\Windows\\System32\\hhctrl.ocx";

class FakeViewerPlatform final : public ViewerPlatform {
 public:
  // The scripted system.
  std::optional<RegistryValue> registered;  // no key at all when empty
  std::string systemRoot = "C:\\Windows";   // what %SystemRoot% expands to
  bool expansionFails = false;
  std::set<std::string> loadable = {kRegisteredPath};
  bool systemViewerPresent = true;
  bool hasEntry = true;

  // What the loader did.
  std::vector<std::string> log;
  struct ViewCall {
    WindowHandle owner;
    const char* helpFile;
    uint32_t command;
    uintptr_t data;
  };
  ViewCall lastView{};
  WindowHandle lastDesktop = nullptr;
  WindowHandle lastResult = nullptr;

  WindowHandle desktopWindow() noexcept override {
    log.push_back("desktop");
    lastDesktop = handle(0xD000 + log.size());  // a new value per call: the owner is not cached
    return lastDesktop;
  }

  bool openClassesRootKey(const char* subKey, KeyHandle& key) noexcept override {
    log.push_back("open");
    EXPECT_STREQ(subKey, "CLSID\\{ADB880A6-D8FF-11CF-9377-00AA003B7A11}\\InprocServer32");
    if (!registered) return false;
    key = &openKey_;
    return true;
  }

  bool readDefaultValue(KeyHandle key, uint32_t& type, char* buffer,
                        uint32_t& size) noexcept override {
    log.push_back("read");
    EXPECT_EQ(key, &openKey_);
    EXPECT_EQ(size, 260u);
    const std::string& bytes = registered->bytes;
    const uint32_t needed = static_cast<uint32_t>(bytes.size());
    type = registered->type;
    if (needed > size) {
      size = needed;
      return false;
    }
    std::copy(bytes.begin(), bytes.end(), buffer);
    size = needed;
    return true;
  }

  void closeKey(KeyHandle key) noexcept override {
    log.push_back("close");
    EXPECT_EQ(key, &openKey_);
  }

  // Knows one variable, %SystemRoot%; writes only when the result fits, as the system does.
  uint32_t expandEnvironmentStrings(const char* source, char* destination,
                                    uint32_t size) noexcept override {
    log.push_back(std::string("expand ") + source);
    if (expansionFails) return 0;
    std::string result = source;
    const std::string variable = "%SystemRoot%";
    if (const auto at = result.find(variable); at != std::string::npos) {
      result.replace(at, variable.size(), systemRoot);
    }
    const uint32_t needed = static_cast<uint32_t>(result.size() + 1);
    if (needed <= size) std::copy_n(result.c_str(), needed, destination);
    return needed;
  }

  ModuleHandle loadModule(const char* path) noexcept override {
    log.push_back(std::string("load ") + path);
    return loadable.contains(path) ? moduleFor(path) : nullptr;
  }

  ModuleHandle loadSystemModule(const char* fileName) noexcept override {
    log.push_back(std::string("load system ") + fileName);
    return systemViewerPresent ? moduleFor(std::string("system ") + fileName) : nullptr;
  }

  EntryAddress findExport(ModuleHandle module, uint16_t ordinal) noexcept override {
    log.push_back("find " + std::to_string(ordinal) + " in " + modules_.at(index(module)));
    return hasEntry ? &fakeEntry : nullptr;
  }

  WindowHandle callViewer(EntryAddress entry, WindowHandle owner, const char* helpFile,
                          uint32_t command, uintptr_t data) noexcept override {
    log.push_back("view");
    EXPECT_EQ(entry, &fakeEntry);
    lastView = {owner, helpFile, command, data};
    lastResult = handle(0x1000 + log.size());  // a new value per call: passed back unchanged
    return lastResult;
  }

 private:
  static void fakeEntry() {}
  static WindowHandle handle(uintptr_t value) { return reinterpret_cast<WindowHandle>(value); }
  static std::size_t index(ModuleHandle module) { return reinterpret_cast<uintptr_t>(module) - 1; }
  ModuleHandle moduleFor(const std::string& name) {
    modules_.push_back(name);
    return reinterpret_cast<ModuleHandle>(static_cast<uintptr_t>(modules_.size()));
  }

  int openKey_ = 0;  // its address is the key handle
  std::vector<std::string> modules_;
};

}  // namespace tavisk
