// end_session_probe: plays the system's part at the end of the Windows session
// against a running Duzavide.exe whose connect is in flight.
//
// Waits (up to 60 s each) for the main window and then for a proxy core to run,
// which is when the connect is in its first second; sends the window
// WM_QUERYENDSESSION and WM_ENDSESSION(TRUE) as the system does when the user
// signs out, and prints "<ms>", how long WM_ENDSESSION took to return. The
// system then ends the process; the probe does the same. Exits with code 0, or 1
// with a line on standard error when the window or the core never came, or when
// a core is still running 5 s after the end.
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <functional>

#include "tests/support/core_processes.h"

namespace {

using duzavide::tunnel_test::CountCoreProcesses;

using Clock = std::chrono::steady_clock;

bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
  const Clock::time_point deadline = Clock::now() + timeout;
  while (!done()) {
    if (Clock::now() >= deadline) return false;
    ::Sleep(5);
  }
  return true;
}

int Fail(const char* what) {
  std::fprintf(stderr, "end_session_probe: %s\n", what);
  return 1;
}

}  // namespace

int main() {
  const LPARAM reason = ENDSESSION_LOGOFF;
  HWND window = nullptr;
  if (!WaitFor(
          [&] {
            window = ::FindWindowW(L"FLUTTER_RUNNER_WIN32_WINDOW", L"Duzavide Connect");
            return window != nullptr;
          },
          std::chrono::seconds(60))) {
    return Fail("the main window never appeared");
  }
  if (!WaitFor([] { return CountCoreProcesses() > 0; }, std::chrono::seconds(60))) {
    return Fail("no proxy core was started");
  }
  DWORD process_id = 0;
  ::GetWindowThreadProcessId(window, &process_id);
  HANDLE process = ::OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, process_id);

  DWORD_PTR answer = 0;
  ::SendMessageTimeoutW(window, WM_QUERYENDSESSION, 0, reason, SMTO_NORMAL, 30000, &answer);
  const Clock::time_point start = Clock::now();
  ::SendMessageTimeoutW(window, WM_ENDSESSION, TRUE, reason, SMTO_NORMAL, 60000, &answer);
  const auto elapsed =
      std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
  std::printf("%lld\n", static_cast<long long>(elapsed));
  std::fflush(stdout);

  if (process != nullptr) {
    ::TerminateProcess(process, 0);
    ::WaitForSingleObject(process, 10000);
    ::CloseHandle(process);
  }
  if (!WaitFor([] { return CountCoreProcesses() == 0; }, std::chrono::seconds(5))) {
    return Fail("a proxy core outlived the application");
  }
  return 0;
}
