#include "shell/console_ending.h"

#include <atomic>

namespace duzavide {
namespace {

// Within the 5 s the system gives a process after the console closes, with room
// for the process to end.
constexpr DWORD kConsoleCloseBudgetMs = 4500;

std::atomic<HWND> g_window{nullptr};
// Set once the teardown is complete; never closed (a handler may still wait on it
// while the process ends).
std::atomic<HANDLE> g_teardown_done{nullptr};

// Runs on a thread the system starts for each event.
BOOL WINAPI OnConsoleEvent(DWORD event) {
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT) {
    return FALSE;  // the end of the Windows session reaches the window itself
  }
  const HANDLE done = g_teardown_done.load();
  if (::WaitForSingleObject(done, 0) == WAIT_OBJECT_0) return TRUE;  // ending already
  ::PostMessageW(g_window.load(), WM_CLOSE, 0, 0);
  // The system ends the process as soon as this returns from a closing console.
  if (event == CTRL_CLOSE_EVENT) ::WaitForSingleObject(done, kConsoleCloseBudgetMs);
  return TRUE;
}

}  // namespace

void CloseWindowOnConsoleEvents(HWND window) {
  if (g_teardown_done.load() == nullptr) {
    g_teardown_done.store(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  }
  g_window.store(window);
  ::SetConsoleCtrlHandler(&OnConsoleEvent, TRUE);
}

void EndOfTeardown() {
  const HANDLE done = g_teardown_done.load();
  if (done != nullptr) ::SetEvent(done);
}

}  // namespace duzavide
