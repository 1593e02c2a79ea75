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

}  // namespace

UINT ShowInstanceMessage() {
  static const UINT message = ::RegisterWindowMessageW(kShowInstanceMessageName);
  return message;
}

SingleInstance::SingleInstance() {
  mutex_.Reset(::CreateMutexW(nullptr, FALSE, kInstanceMutexName));
  const DWORD error = ::GetLastError();
  // Access denied: the mutex exists but was made by a process we may not open.
  if ((mutex_ && error == ERROR_ALREADY_EXISTS) || (!mutex_ && error == ERROR_ACCESS_DENIED)) {
    is_first_ = false;
  }
}

bool ShowRunningInstance(std::chrono::milliseconds wait) {
  const ULONGLONG deadline = ::GetTickCount64() + static_cast<ULONGLONG>(wait.count());
  HWND window = nullptr;
  for (;;) {
    window = ::FindWindowW(kWindowClassName, kMainWindowTitle);
    if (window != nullptr || ::GetTickCount64() >= deadline) break;
    ::Sleep(kPollMs);
  }
  if (window == nullptr) return false;

  // A process started by the user may bring windows to the front; the running
  // instance may not unless it is given that right.
  DWORD owner = 0;
  ::GetWindowThreadProcessId(window, &owner);
  if (owner != 0) ::AllowSetForegroundWindow(owner);
  return ::PostMessageW(window, ShowInstanceMessage(), 0, 0) != FALSE;
}

}  // namespace duzavide
