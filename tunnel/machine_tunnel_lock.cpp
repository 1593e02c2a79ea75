#include "tunnel/machine_tunnel_lock.h"

#include <utility>

#include "tunnel/data_folder/security_descriptors.h"

namespace duzavide {
namespace {

// Full access for SYSTEM and Administrators, nothing for anyone else and nothing
// inherited: an unelevated program can neither take the lock nor hold it open.
constexpr wchar_t kLockSecurity[] = L"D:P(A;;GA;;;SY)(A;;GA;;;BA)";

UniqueHandle CreateLockMutex() {
  UniqueSecurityDescriptor descriptor = SecurityDescriptorFromSddl(kLockSecurity);
  SECURITY_ATTRIBUTES attributes{sizeof(attributes), descriptor.Get(), FALSE};
  UniqueHandle mutex(::CreateMutexW(&attributes, FALSE, kMachineTunnelLockName));
  // The caller reads why the mutex was refused; freeing may overwrite it.
  const DWORD error = ::GetLastError();
  descriptor.Reset();
  ::SetLastError(error);
  return mutex;
}

}  // namespace

MachineTunnelLock::Outcome MachineTunnelLock::Take() {
  if (mutex_) return Outcome::kTaken;
  UniqueHandle mutex = CreateLockMutex();
  if (!mutex) {
    // It exists, made by a process whose rights we lack: that one holds it.
    return ::GetLastError() == ERROR_ACCESS_DENIED ? Outcome::kHeldElsewhere
                                                   : Outcome::kUnavailable;
  }
  switch (::WaitForSingleObject(mutex.Get(), 0)) {
    case WAIT_OBJECT_0:
    case WAIT_ABANDONED:  // its holder ended without letting go
      mutex_ = std::move(mutex);
      return Outcome::kTaken;
    case WAIT_TIMEOUT:
      return Outcome::kHeldElsewhere;
    default:
      return Outcome::kUnavailable;
  }
}

void MachineTunnelLock::Release() {
  if (!mutex_) return;
  ::ReleaseMutex(mutex_.Get());
  mutex_.Reset();
}

}  // namespace duzavide
