// The exports' work: one argument popped into a buffer of the host's string size, one result.
#include "plugin.h"

namespace korvale::pelwick {
namespace {

constexpr int32_t kMaximumInstances = 1;

const pelwick_char kTrue[] = {'t', 'r', 'u', 'e', 0};
const pelwick_char kFalse[] = {'f', 'a', 'l', 's', 'e', 0};

}  // namespace

// The call's argument, popped from the stack into a block of the host's heap. Empty when the
// stack held none; the entry is still consumed when only the block could not be had.
class Plugin::Argument {
 public:
  Argument(Platform& platform, HostStack& stack) : platform_(platform) {
    // One character more than the stack hands out, so that a string size of 0 still leaves
    // an empty, terminated text.
    text_ = static_cast<pelwick_char*>(
        platform_.globalAlloc((stack.capacity() + 1) * sizeof(pelwick_char)));
    if (!text_) {
      stack.dropTop();
    } else if (stack.popstring(text_) != 0) {
      release();
    }
  }
  ~Argument() { release(); }
  Argument(const Argument&) = delete;
  Argument& operator=(const Argument&) = delete;

  explicit operator bool() const { return text_ != nullptr; }
  const pelwick_char* text() const { return text_; }

 private:
  void release() {
    if (text_) platform_.globalFree(text_);
    text_ = nullptr;
  }

  Platform& platform_;
  pelwick_char* text_ = nullptr;
};

void Plugin::takeOver(int string_size, pelwick_char* variables, pelwick_stack_t** stacktop,
                      pelwick_extra_parameters* extra) noexcept {
  stack_.takeOver(string_size, variables, stacktop);
  if (stayingLoaded_ || !extra || !extra->exec_flags || !extra->RegisterPluginCallback) return;
  if (extra->exec_flags->plugin_api_version >= PELWICK_PLUGIN_API_1_0) {
    // 1: the host holds this callback already, which is just as good.
    stayingLoaded_ = extra->RegisterPluginCallback(module_, callback_) >= 0;
  }
}

void Plugin::pushResult(bool result) noexcept { stack_.pushstring(result ? kTrue : kFalse); }

void Plugin::getDriveType() noexcept {
  const Argument path(platform_, stack_);
  if (!path) {
    pushResult(false);
    return;
  }
  stack_.pushstring(decimal(platform_.driveType(path.text())).text);
}

void Plugin::isQuarnAppRunning() noexcept {
  const Argument name(platform_, stack_);
  if (!name) {
    pushResult(false);
    return;
  }
  const std::optional<int32_t> instances = lock_.instancesInUse(name.text());
  // When nothing could be read the application counts as running, so that an installer does
  // not overwrite a program that may be in use.
  pushResult(!instances || *instances != 0);
}

void Plugin::lockApplication() noexcept {
  const Argument name(platform_, stack_);
  if (!name) {
    pushResult(false);
    return;
  }
  pushResult(lock_.lockApp(name.text(), kMaximumInstances) == kLockDone);
}

void Plugin::unlockApplication() noexcept {
  // The argument only keeps the stack balanced.
  const Argument discarded(platform_, stack_);
  if (!discarded) {
    pushResult(false);
    return;
  }
  pushResult(lock_.unlockApp() == kLockDone);
}

uintptr_t Plugin::onHostMessage(pelwick_plugin_message message) noexcept {
  if (message == PELWICK_NSPIM_UNLOAD && lock_.state() == LockApp::State::kHeld) {
    lock_.unlockApp();
  }
  return 0;
}

}  // namespace korvale::pelwick
