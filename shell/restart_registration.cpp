#include "shell/restart_registration.h"

namespace duzavide {
namespace {

RegisterRestartFunction g_register_for_testing = nullptr;

}  // namespace

void RegisterRestartAfterUpdate() {
  // Not after a reboot either: an update that needs one leaves the start to the user.
  constexpr DWORD kFlags = RESTART_NO_CRASH | RESTART_NO_HANG | RESTART_NO_REBOOT;
  // Not examined: without it the application is simply not started again.
  if (g_register_for_testing != nullptr) {
    g_register_for_testing(L"", kFlags);
  } else {
    ::RegisterApplicationRestart(L"", kFlags);
  }
}

void SetRegisterRestartFunctionForTesting(RegisterRestartFunction function) {
  g_register_for_testing = function;
}

}  // namespace duzavide
