// The DLL's exports: each hands the host's arguments to the one plug-in of this process and
// runs its call. The library's entry point is the runtime's default, which does nothing.
// Everything an export calls is noexcept and allocates nothing but host heap blocks, so no
// exception can reach the host.
#include "pelwick.h"

#include "platform.h"
#include "plugin.h"

namespace korvale::pelwick {
namespace {

uintptr_t hostCallback(pelwick_plugin_message message) noexcept;

Plugin& plugin() noexcept {
  static Plugin instance(systemPlatform(), thisModule(), &hostCallback);
  return instance;
}

uintptr_t hostCallback(pelwick_plugin_message message) noexcept {
  return plugin().onHostMessage(message);
}

Plugin& takeOver(int string_size, pelwick_char* variables, pelwick_stack_t** stacktop,
                 pelwick_extra_parameters* extra) noexcept {
  Plugin& instance = plugin();
  instance.takeOver(string_size, variables, stacktop, extra);
  return instance;
}

}  // namespace
}  // namespace korvale::pelwick

using korvale::pelwick::takeOver;

extern "C" {

PELWICK_API void PELWICK_CALL getDriveType(void*, int string_size, pelwick_char* variables,
                                           pelwick_stack_t** stacktop,
                                           pelwick_extra_parameters* extra) {
  takeOver(string_size, variables, stacktop, extra).getDriveType();
}

PELWICK_API void PELWICK_CALL isQuarnAppRunning(void*, int string_size, pelwick_char* variables,
                                                pelwick_stack_t** stacktop,
                                                pelwick_extra_parameters* extra) {
  takeOver(string_size, variables, stacktop, extra).isQuarnAppRunning();
}

PELWICK_API void PELWICK_CALL lockApplication(void*, int string_size, pelwick_char* variables,
                                              pelwick_stack_t** stacktop,
                                              pelwick_extra_parameters* extra) {
  takeOver(string_size, variables, stacktop, extra).lockApplication();
}

PELWICK_API void PELWICK_CALL unlockApplication(void*, int string_size, pelwick_char* variables,
                                                pelwick_stack_t** stacktop,
                                                pelwick_extra_parameters* extra) {
  takeOver(string_size, variables, stacktop, extra).unlockApplication();
}

}  // extern "C"
