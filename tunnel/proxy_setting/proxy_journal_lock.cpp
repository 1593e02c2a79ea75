#include "tunnel/proxy_setting/proxy_journal_lock.h"

#include <sddl.h>

#include "base/system_error_text.h"

namespace duzavide {
namespace {

constexpr wchar_t kLockName[] = L"Local\\DuzavideConnectProxyJournal";
// The system and administrators may do anything with it; any signed-in user may
// wait on it and release it (SYNCHRONIZE | MUTEX_MODIFY_STATE). Labelled medium
// so that an elevated creator does not lock the unelevated restore program out.
constexpr wchar_t kLockSecurity[] =
    L"D:(A;;GA;;;SY)(A;;GA;;;BA)(A;;0x00100001;;;AU)S:(ML;;NW;;;ME)";

}  // namespace

ProxyJournalLock::ProxyJournalLock(unsigned long timeout_ms) {
  UniqueSecurityDescriptor descriptor;
  SECURITY_ATTRIBUTES attributes{};
  attributes.nLength = sizeof(attributes);
  if (::ConvertStringSecurityDescriptorToSecurityDescriptorW(kLockSecurity, SDDL_REVISION_1,
                                                             descriptor.Receive(), nullptr)) {
    attributes.lpSecurityDescriptor = descriptor.Get();
  }
  mutex_.Reset(::CreateMutexW(&attributes, FALSE, kLockName));
  // Created by an account whose rights we lack for creating: open it for waiting.
  if (!mutex_.IsValid() && ::GetLastError() == ERROR_ACCESS_DENIED) {
    mutex_.Reset(::OpenMutexW(SYNCHRONIZE | MUTEX_MODIFY_STATE, FALSE, kLockName));
  }
  if (!mutex_.IsValid()) {
    failure_ = "the lock of the saved proxy setting could not be opened: " + LastSystemErrorText();
    return;
  }
  switch (::WaitForSingleObject(mutex_.Get(), timeout_ms)) {
    case WAIT_OBJECT_0:
    case WAIT_ABANDONED:
      held_ = true;
      break;
    case WAIT_TIMEOUT:
      failure_ = "another program holds the lock of the saved proxy setting";
      break;
    default:
      failure_ = "the lock of the saved proxy setting could not be taken: " + LastSystemErrorText();
      break;
  }
}

ProxyJournalLock::~ProxyJournalLock() {
  if (held_) ::ReleaseMutex(mutex_.Get());
}

}  // namespace duzavide
