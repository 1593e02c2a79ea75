// One tunnel per machine. The core's TUN interface has one fixed name and takes
// the default route, while the host runs once per Windows session: without this
// lock two signed-in users (fast user switching, remote desktop) would run two
// cores that fight over one interface and its routes.
#ifndef TUNNEL_MACHINE_TUNNEL_LOCK_H_
#define TUNNEL_MACHINE_TUNNEL_LOCK_H_

#include "base/win_handles.h"

namespace duzavide {

// A machine-wide mutex, usable by SYSTEM and Administrators only (the host always
// runs elevated).
inline constexpr wchar_t kMachineTunnelLockName[] = L"Global\\Duzavide.Connect.Tunnel";

// The session holds the lock from the connect that starts a core until the
// disconnect that ends it. A holder that ends without releasing it (killed, or
// its process ended by the system) leaves it abandoned, which the next taker
// counts as free. A mutex belongs to a thread: Take and Release run on the
// thread that runs the session.
class MachineTunnelLock {
 public:
  enum class Outcome {
    kTaken,          // held by this object (already or newly)
    kHeldElsewhere,  // another process, or another thread, holds it
    kUnavailable,    // the system refused the mutex; nothing is held
  };

  MachineTunnelLock() = default;
  ~MachineTunnelLock() { Release(); }
  MachineTunnelLock(const MachineTunnelLock&) = delete;
  MachineTunnelLock& operator=(const MachineTunnelLock&) = delete;

  // Never waits.
  Outcome Take();
  // Safe to repeat.
  void Release();

 private:
  UniqueHandle mutex_;  // set while held
};

}  // namespace duzavide

#endif  // TUNNEL_MACHINE_TUNNEL_LOCK_H_
