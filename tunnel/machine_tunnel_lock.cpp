#include "tunnel/machine_tunnel_lock.h"

#include <sddl.h>

#include <utility>

namespace duzavide {
namespace {

// Full access for SYSTEM and Administrators, nothing for anyone else and nothing
// inherited: an unelevated program can neither take the lock nor hold it open.
constexpr wchar_t kLockSecurity[] = L"D:P(A;;GA;;;SY)(A;;GA;;;BA)";

UniqueHandle CreateLockMutex() {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(kLockSecurity, SDDL_REVISION_1,
                                                              &descriptor, nullptr)) {
    descriptor = nullptr;
  }
  SECURITY_ATTRIBUTES attributes{sizeof(attributes), descriptor, FALSE};
  UniqueHandle mutex(::CreateMutexW(&attributes, FALSE, kMachineTunnelLockName));
  const DWORD error = ::GetLastError();
  if (descriptor != nullptr) ::LocalFree(descriptor);
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
