#include "shell/single_instance.h"

#include "shell/window_class_registrar.h"
#include "shell/window_placement.h"

namespace duzavide {
namespace {

// "Local\": the namespace of the current Windows session, so another user's
// session runs its own instance.
constexpr wchar_t kInstanceMutexName[] = L"Local\\Duzavide.Connect.Instance";
constexpr wchar_t kShowInstanceMessageName[] = L"Duzavide.Connect.ShowInstance";
constexpr DWORD kPollMs = 50;

// Asks the instance that owns `window` to show it.
bool AskToShow(HWND window) {
  // A process started by the user may bring windows to the front; the running
  // instance may not unless it is given that right.
  DWORD owner = 0;
  ::GetWindowThreadProcessId(window, &owner);
  if (owner != 0) ::AllowSetForegroundWindow(owner);
  return ::PostMessageW(window, ShowInstanceMessage(), 0, 0) != FALSE;
}

}  // namespace

UINT ShowInstanceMessage() {
  static const UINT message = ::RegisterWindowMessageW(kShowInstanceMessageName);
  return message;
}

SingleInstance::SingleInstance() {
  mutex_.Reset(::CreateMutexW(nullptr, TRUE, kInstanceMutexName));
  const DWORD error = ::GetLastError();
  // Access denied: the mutex exists but was made by a process we may not open.
  if ((mutex_ && error == ERROR_ALREADY_EXISTS) || (!mutex_ && error == ERROR_ACCESS_DENIED)) {
    is_first_ = false;
  }
  owned_ = mutex_ && is_first_;
}

SingleInstance::~SingleInstance() {
  if (owned_) ::ReleaseMutex(mutex_.Get());
}

SingleInstance::HandOver SingleInstance::WaitForRunningInstance(std::chrono::milliseconds bound) {
  const ULONGLONG deadline = ::GetTickCount64() + static_cast<ULONGLONG>(bound.count());
  for (;;) {
    HWND window = ::FindWindowW(kWindowClassName, kMainWindowTitle);
    if (window != nullptr && AskToShow(window)) return HandOver::kShown;
    if (!mutex_) {
      // Not openable a moment ago; it may be gone (then this creates it anew).
      mutex_.Reset(::CreateMutexW(nullptr, FALSE, kInstanceMutexName));
    }
    if (mutex_) {
      const DWORD waited = ::WaitForSingleObject(mutex_.Get(), kPollMs);
      // Abandoned: its holder ended without letting go, which counts as gone.
      if (waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED) {
        owned_ = true;
        return HandOver::kBecameFirst;
      }
      if (waited == WAIT_FAILED) ::Sleep(kPollMs);
    } else {
      ::Sleep(kPollMs);
    }
    if (::GetTickCount64() >= deadline) return HandOver::kTimedOut;
  }
}

}  // namespace duzavide
