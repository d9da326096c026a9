// One results window per user and session. A KorvaleDesk.exe started while the window is open
// hands its request (handoff.h) to that window in a WM_COPYDATA message and ends.
//
// Two named objects of the session, named after the user's SID (so that two users of one
// session never meet): a mutex, the lock under which a start looks for the window and, finding
// none, makes its own; and a small shared block that holds the window that takes requests.
//  - A start waits for the lock (at most kLockWait). Whoever holds it is making the window, or
//    handing over to it, which takes a moment: so a second start waits until the first has its
//    window, then hands over, and many starts at once hand over one after the other.
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
  static constexpr DWORD kLockWait = 10000;  // ms: a first start under load makes its window
  static constexpr UINT kSendWait = 10000;   // ms for the window to answer

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

  HANDLE lock_ = nullptr;
  HANDLE block_ = nullptr;
  volatile LONG64* published_ = nullptr;
  bool held_ = false;
};

}  // namespace korvale::desk
