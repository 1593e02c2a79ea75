// One tunnel per machine. The core's TUN interface has one fixed name and takes
// the default route, while the host runs once per Windows session: without this
// lock two signed-in users (fast user switching, remote desktop) would run two
// cores that fight over one interface and its routes.
#ifndef TUNNEL_MACHINE_TUNNEL_LOCK_H_
#define TUNNEL_MACHINE_TUNNEL_LOCK_H_

#include <functional>
#include <string>
#include <utility>

#include "base/win_handles.h"
#include "tunnel/machine_lock_outcome.h"

namespace duzavide {

// The private namespace the lock lives in (see machine_lock_outcome.h), its
// boundary the Administrators group, and the mutex's name inside it.
inline constexpr wchar_t kMachineLockNamespace[] = L"Duzavide.Connect";
inline constexpr wchar_t kMachineTunnelLockName[] = L"Duzavide.Connect\\Tunnel";

// Where the lock's mutex is made: the namespace held open for it (empty for a
// name outside any), the mutex's name, and how opening the namespace went.
struct MachineLockPlace {
  UniquePrivateNamespace space;
  std::wstring mutex_name;
  LockNamespaceStep step = LockNamespaceStep::kFailed;
};
using MachineLockPlacer = std::function<MachineLockPlace()>;

// Creates the private namespace, or opens it when another host made it, both
// with the lock's security (SYSTEM and Administrators only). Where the system
// offers no private namespaces the step is kNotOffered and nothing else is
// called.
MachineLockPlace OpenMachineLockNamespace();

// The session holds the lock from the connect that starts a core until the
// disconnect that ends it. A holder that ends without releasing it (killed, or
// its process ended by the system) leaves it abandoned, which the next taker
// counts as free. A mutex belongs to a thread: Take and Release run on the
// thread that runs the session.
class MachineTunnelLock {
 public:
  using Outcome = MachineLockOutcome;

  // `placer` says where the mutex goes; tests give a plain name.
  explicit MachineTunnelLock(MachineLockPlacer placer = OpenMachineLockNamespace)
      : placer_(std::move(placer)) {}
  ~MachineTunnelLock() { Release(); }
  MachineTunnelLock(const MachineTunnelLock&) = delete;
  MachineTunnelLock& operator=(const MachineTunnelLock&) = delete;

  // Never waits.
  Outcome Take();
  // Safe to repeat.
  void Release();

 private:
  MachineLockPlacer placer_;
  UniqueHandle mutex_;            // set while held
  UniquePrivateNamespace space_;  // open while held
};

}  // namespace duzavide

#endif  // TUNNEL_MACHINE_TUNNEL_LOCK_H_
