// The application lock: a counter of running instances that every process sharing a section
// name updates, taken and given back by this process at most once while the module is loaded.
// Internal to the plug-in.
#pragma once

#include <cstdint>
#include <optional>

#include "pelwick.h"
#include "platform.h"

namespace korvale::pelwick {

// Results of lockApp and unlockApp. Each failure also writes one message on standard error.
enum LockResult : int {
  kLockDone = 0,
  kLockAlreadyCreated = -1,  // "Application already created.\n"
  kLockCannotCreate = -2,    // "Failed creating application lock.\n": no section or no view
  kLockMaximumReached = -3,  // "Max applications already allocated.\n"
  kLockNotHeld = -4,         // "No applications allocated." (no line feed)
};

class LockApp {
 public:
  // The lock slot of this process. Once created it never goes back to kNoLock: only a section
  // or view that the platform refuses leaves the slot there.
  enum class State {
    kNoLock,    // no section yet
    kHeld,      // this process raised the counter; section and view kept
    kRefused,   // the counter was at the maximum; section and view kept, counter untouched
    kReleased,  // the held lock was given back; the view is gone, the section stays open
  };

  explicit constexpr LockApp(Platform& platform) : platform_(platform) {}

  // Takes the lock when the shared counter of `name` is below `maximum`, raising it by one.
  // Test and increment are one atomic step, so racing processes cannot both pass.
  int lockApp(const pelwick_char* name, int32_t maximum) noexcept;
  // Gives a held lock back, lowering the counter by one. In every other state the counter is
  // not touched and the result is kLockNotHeld.
  int unlockApp() noexcept;
  // The shared counter of `name`, or nothing (with the message of kLockCannotCreate) when its
  // section or view cannot be had. Leaves nothing open.
  std::optional<int32_t> instancesInUse(const pelwick_char* name) noexcept;

  State state() const noexcept { return state_; }

 private:
  int32_t read(int32_t* counter) noexcept;

  Platform& platform_;
  State state_ = State::kNoLock;
  Section hMapObject = nullptr;
  int32_t* ip = nullptr;  // the shared counter, in this process's view
};

}  // namespace korvale::pelwick
