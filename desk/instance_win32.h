// One results window per user and session. A KorvaleDesk.exe started while the window is open
// hands its request (handoff.h) to that window in a WM_COPYDATA message and ends.
//
// Two named objects of the session, named after the user's SID (so that two users of one
// session never meet): a mutex, the lock under which a start looks for the window and, finding
// none, makes its own; and a small shared block that holds the window that takes requests.
//  - A start waits for the lock. Whoever holds it is making the window, or handing over to it,
//    which takes a moment: so a second start waits until the first has its window, then hands
//    over, and many starts at once hand over one after the other. The wait is bounded: it ends
//    when the lock has not passed from one start to the next for kLockWait.
//  - Holding the lock: a window published and alive takes the request (a window that closes
//    refuses it); else this start opens its own window, publishes it and only then gives the
//    lock back. A start that does not get the lock in time opens a window of its own, which it
//    does not publish, rather than lose its paths.
//  - A window that closes withdraws itself first (compare-and-swap, no lock: it may be the one
//    a start holding the lock waits for), and refuses every request from then on.
#pragma once

#include <windows.h>

#include <cstdint>
#include <vector>

namespace korvale::desk {

class SingleInstance {
 public:
  // ms: a first start makes its window in a fraction of a second, even under the load of many
  // starts at once; the lane's emulated machine takes ten times as long.
  static constexpr DWORD kLockWait = 10000;
  // ms for the window to answer: well below kLockWait, so that the starts waiting behind one
  // whose window does not answer still get the lock in time, from the window it then makes.
  static constexpr UINT kSendWait = 5000;

  SingleInstance();
  ~SingleInstance();
  SingleInstance(const SingleInstance&) = delete;
  SingleInstance& operator=(const SingleInstance&) = delete;

  enum class Start {
    kHandedOff,  // the window took the request: end
    kFirst,      // open the window and publish() it; the lock is held until then
    kAlone,      // open a window, unpublished: the lock or a taker could not be had
  };
  // `message`: the request's bytes; none when it cannot be encoded (it then goes to a window
  // of this process's own).
  Start start(const std::vector<uint8_t>* message);
  // The window that takes later starts' requests; gives the lock back.
  void publish(HWND window);
  // The window closes; later starts do not find it.
  void withdraw(HWND window);

 private:
  void release();

  // The shared block, zeroed when the session's first start makes it.
  struct Shared {
    LONG64 window;  // the window that takes requests (an HWND), 0 for none
    LONG64 turns;   // how many times a start has given the lock back
  };

  HANDLE lock_ = nullptr;
  HANDLE block_ = nullptr;
  Shared* shared_ = nullptr;
  bool held_ = false;
};

}  // namespace korvale::desk
