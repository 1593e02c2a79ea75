#include "tunnel/machine_tunnel_lock.h"

#include <utility>

#include "tunnel/data_folder/security_descriptors.h"

namespace duzavide {
namespace {

// Full access for SYSTEM and Administrators, nothing for anyone else and nothing
// inherited: an unelevated program can neither take the lock nor hold it open.
constexpr wchar_t kLockSecurity[] = L"D:P(A;;GA;;;SY)(A;;GA;;;BA)";

// A boundary of the Administrators group: only a token with that group enabled
// may make or open a namespace with it.
UniqueBoundaryDescriptor AdministratorsBoundary() {
  UniqueBoundaryDescriptor boundary(::CreateBoundaryDescriptorW(kMachineLockNamespace, 0));
  BYTE administrators[SECURITY_MAX_SID_SIZE];
  DWORD size = sizeof(administrators);
  if (!boundary ||
      !::CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, administrators, &size)) {
    return UniqueBoundaryDescriptor();
  }
  // The call may move the descriptor; it hands back where it now is.
  HANDLE grown = boundary.Release();
  const BOOL added = ::AddSIDToBoundaryDescriptor(&grown, administrators);
  boundary.Reset(grown);
  return added ? std::move(boundary) : UniqueBoundaryDescriptor();
}

LockMutexStep MutexStep(const UniqueHandle& mutex) {
  if (mutex) return LockMutexStep::kReady;
  switch (::GetLastError()) {
    case ERROR_ACCESS_DENIED:
      return LockMutexStep::kShutOut;
    case ERROR_INVALID_HANDLE:  // the name is an event's, a section's, ...
      return LockMutexStep::kOtherObject;
    default:
      return LockMutexStep::kFailed;
  }
}

LockWaitStep WaitStep(DWORD result) {
  switch (result) {
    case WAIT_OBJECT_0:
      return LockWaitStep::kAcquired;
    case WAIT_ABANDONED:
      return LockWaitStep::kAbandoned;
    case WAIT_TIMEOUT:
      return LockWaitStep::kTimedOut;
    default:
      return LockWaitStep::kFailed;
  }
}

}  // namespace

MachineLockPlace OpenMachineLockNamespace() {
  MachineLockPlace place;
  place.mutex_name = kMachineTunnelLockName;
  UniqueBoundaryDescriptor boundary = AdministratorsBoundary();
  if (!boundary) {
    // Some systems hand out no boundary and end the process on a namespace call.
    place.step = LockNamespaceStep::kNotOffered;
    return place;
  }
  UniqueSecurityDescriptor descriptor = SecurityDescriptorFromSddl(kLockSecurity);
  SECURITY_ATTRIBUTES attributes{sizeof(attributes), descriptor.Get(), FALSE};
  // A namespace found but gone before it could be opened (its last holder let it
  // go) is made once more.
  for (int attempt = 0; attempt < 2; ++attempt) {
    place.space.Reset(
        ::CreatePrivateNamespaceW(&attributes, boundary.Get(), kMachineLockNamespace));
    if (place.space) {
      place.step = LockNamespaceStep::kCreated;
      return place;
    }
    if (::GetLastError() != ERROR_ALREADY_EXISTS) break;
    place.space.Reset(::OpenPrivateNamespaceW(boundary.Get(), kMachineLockNamespace));
    if (place.space) {
      place.step = LockNamespaceStep::kOpened;
      return place;
    }
    if (::GetLastError() == ERROR_ACCESS_DENIED) {
      place.step = LockNamespaceStep::kShutOut;
      return place;
    }
  }
  place.step = LockNamespaceStep::kFailed;
  return place;
}

MachineTunnelLock::Outcome MachineTunnelLock::Take() {
  if (mutex_) return Outcome::kTaken;
  MachineLockPlace place = placer_();
  MachineLockSteps steps;
  steps.space = place.step;
  UniqueHandle mutex;
  if (place.step == LockNamespaceStep::kCreated || place.step == LockNamespaceStep::kOpened) {
    UniqueSecurityDescriptor descriptor = SecurityDescriptorFromSddl(kLockSecurity);
    SECURITY_ATTRIBUTES attributes{sizeof(attributes), descriptor.Get(), FALSE};
    mutex.Reset(::CreateMutexW(&attributes, FALSE, place.mutex_name.c_str()));
    steps.mutex = MutexStep(mutex);
    if (mutex) steps.wait = WaitStep(::WaitForSingleObject(mutex.Get(), 0));
  }
  const Outcome outcome = DecideMachineLock(steps);
  if (outcome == Outcome::kTaken) {
    mutex_ = std::move(mutex);
    space_ = std::move(place.space);
  }
  return outcome;
}

void MachineTunnelLock::Release() {
  if (!mutex_) return;
  ::ReleaseMutex(mutex_.Get());
  mutex_.Reset();
  space_.Reset();
}

}  // namespace duzavide
