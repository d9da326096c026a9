// The application lock's state machine over the shared counter.
#include "LockApp.h"

namespace korvale::pelwick {
namespace {

constexpr const char* kAlreadyCreated = "Application already created.\n";
constexpr const char* kCannotCreate = "Failed creating application lock.\n";
constexpr const char* kMaximumReached = "Max applications already allocated.\n";
constexpr const char* kNotAllocated = "No applications allocated.";

// Other processes may leave any value in the counter; stepping past the ends wraps.
int32_t plus(int32_t value, int32_t step) {
  return static_cast<int32_t>(static_cast<uint32_t>(value) + static_cast<uint32_t>(step));
}

}  // namespace

int32_t LockApp::read(int32_t* counter) noexcept {
  // A compare-exchange that changes nothing: an atomic read of the shared word.
  return platform_.compareExchange(counter, 0, 0);
}

int LockApp::lockApp(const pelwick_char* name, int32_t maximum) noexcept {
  if (hMapObject) {
    platform_.writeError(kAlreadyCreated);
    return kLockAlreadyCreated;
  }
  hMapObject = platform_.createSection(name);
  if (!hMapObject) {
    platform_.writeError(kCannotCreate);
    return kLockCannotCreate;
  }
  ip = platform_.mapView(hMapObject);
  if (!ip) {
    // Without a view there is no counter to hold: back to no lock, so a later call tries anew.
    platform_.closeSection(hMapObject);
    hMapObject = nullptr;
    platform_.writeError(kCannotCreate);
    return kLockCannotCreate;
  }
  for (int32_t seen = read(ip);;) {
    if (seen >= maximum) {
      state_ = State::kRefused;
      platform_.writeError(kMaximumReached);
      return kLockMaximumReached;
    }
    const int32_t before = platform_.compareExchange(ip, plus(seen, 1), seen);
    if (before == seen) break;
    seen = before;  // another process changed the counter in between: test again
  }
  state_ = State::kHeld;
  return kLockDone;
}

int LockApp::unlockApp() noexcept {
  if (state_ != State::kHeld) {
    // No lock slot, a refused one (this process never raised the counter) or a released one
    // (it already lowered it): nothing of this process is in the counter.
    platform_.writeError(kNotAllocated);
    return kLockNotHeld;
  }
  for (int32_t seen = read(ip);;) {
    const int32_t before = platform_.compareExchange(ip, plus(seen, -1), seen);
    if (before == seen) break;
    seen = before;
  }
  platform_.unmapView(ip);
  state_ = State::kReleased;
  return kLockDone;
}

std::optional<int32_t> LockApp::instancesInUse(const pelwick_char* name) noexcept {
  std::optional<int32_t> value;
  if (const Section section = platform_.createSection(name)) {
    if (int32_t* counter = platform_.mapView(section)) {
      value = read(counter);
      platform_.unmapView(counter);
    }
    platform_.closeSection(section);
  }
  if (!value) platform_.writeError(kCannotCreate);
  return value;
}

}  // namespace korvale::pelwick
