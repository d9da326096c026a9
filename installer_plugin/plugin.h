// What the four exports do, apart from the DLL: take over the host's arguments, pop one
// argument, run the drive query or a lock routine, push one result. Internal to the plug-in.
#pragma once

#include <cstdint>

#include "LockApp.h"
#include "host_stack.h"
#include "pelwick.h"
#include "platform.h"

namespace korvale::pelwick {

class Plugin {
 public:
  // `module` and `callback` are what the plug-in registers with a host that offers it.
  constexpr Plugin(Platform& platform, void* module, pelwick_plugin_callback callback)
      : platform_(platform),
        module_(module),
        callback_(callback),
        stack_(platform),
        lock_(platform) {}

  // Starts every export call. A host of plug-in API 1.0 or later is asked, once, to keep the
  // module loaded until it ends: otherwise it frees the module after each call, and the lock
  // slot, kept in the module, would be lost between lockApplication and unlockApplication.
  void takeOver(int string_size, pelwick_char* variables, pelwick_stack_t** stacktop,
                pelwick_extra_parameters* extra) noexcept;

  // Each pops its argument and pushes one result. With no argument on the stack each pushes
  // "false" and asks the platform nothing.
  void getDriveType() noexcept;
  void isQuarnAppRunning() noexcept;
  void lockApplication() noexcept;
  void unlockApplication() noexcept;

  // The registered callback. When the installer ends, a lock still held is given back, so
  // that its count does not stay in a section another process keeps open.
  uintptr_t onHostMessage(pelwick_plugin_message message) noexcept;

 private:
  class Argument;
  void pushResult(bool result) noexcept;

  Platform& platform_;
  void* module_;
  pelwick_plugin_callback callback_;
  HostStack stack_;
  LockApp lock_;
  bool stayingLoaded_ = false;
};

}  // namespace korvale::pelwick
