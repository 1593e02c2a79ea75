// Every way the application ends, in every state of the tunnel, and the instance
// lock of the Windows session across a quick restart and against a squatter: the
// real Duzavide.exe, driven from outside as the user and the system drive it.
#include <windows.h>
// Needs the declarations of windows.h first.
#include <gtest/gtest.h>
#include <tlhelp32.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "base/win_handles.h"
#include "tests/e2e/app_process.h"
#include "tests/tunnel/tunnel_test_support.h"

namespace duzavide::e2e {
namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;
using std::chrono::steady_clock;
using tunnel_test::CountCoreProcesses;

constexpr UINT kTrayExitCommand = 1004;
constexpr wchar_t kInstanceMutexName[] = L"Local\\Duzavide.Connect.Instance";

std::string Reply(bool value) { return "reply " + SuccessReplyHex(value); }

enum class Ending { kClose, kTrayExit, kEndOfSession, kCloseApplication };
enum class TunnelState { kIdle, kConnected, kConnecting };

// Sends the two messages the system sends at the end of the session (a sign-out,
// or an installer's Restart Manager closing the application) and returns how long
// WM_ENDSESSION took to come back.
milliseconds EndTheSession(HWND window, LPARAM reason) {
  DWORD_PTR answer = 0;
  EXPECT_NE(
      ::SendMessageTimeoutW(window, WM_QUERYENDSESSION, 0, reason, SMTO_NORMAL, 10000, &answer), 0);
  EXPECT_EQ(answer, static_cast<DWORD_PTR>(TRUE)) << "the host refused to let the session end";
  const steady_clock::time_point start = steady_clock::now();
  EXPECT_NE(::SendMessageTimeoutW(window, WM_ENDSESSION, TRUE, reason, SMTO_NORMAL, 60000, &answer),
            0);
  return std::chrono::duration_cast<milliseconds>(steady_clock::now() - start);
}

TEST(LifecycleTest, EveryEndingInEveryTunnelStateLeavesNoCoreAndAnswersNothingAfterwards) {
  const struct {
    const char* name;
    Ending ending;
  } endings[] = {
      {"window close", Ending::kClose},
      {"tray exit", Ending::kTrayExit},
      {"end of session", Ending::kEndOfSession},
      {"end of session closing the application", Ending::kCloseApplication},
  };
  const struct {
    const char* name;
    TunnelState state;
  } states[] = {
      {"idle", TunnelState::kIdle},
      {"connected", TunnelState::kConnected},
      {"connect in flight", TunnelState::kConnecting},
  };
  for (const auto& ending : endings) {
    for (const auto& state : states) {
      SCOPED_TRACE(std::string(ending.name) + ", " + state.name);
      ASSERT_TRUE(WaitFor([] { return CountCoreProcesses() == 0; }, seconds(10)));
      const bool idle = state.state == TunnelState::kIdle;
      AppProcess app(
          {{idle ? "call " + MethodCallHex("isConnected") : "call " + ConnectCallHex()}});
      ASSERT_TRUE(app.Start());
      HWND window = app.WaitForWindow(seconds(60));
      ASSERT_NE(window, nullptr);
      if (state.state == TunnelState::kConnecting) {
        // The core runs a second before the connect answers.
        ASSERT_TRUE(WaitFor([] { return CountCoreProcesses() > 0; }, seconds(60)));
      } else {
        ASSERT_TRUE(WaitFor([&] { return !app.Transcript().empty(); }, seconds(60)));
      }
      const std::vector<std::string> before = app.Transcript();
      const std::vector<std::string> expected_before = state.state == TunnelState::kConnecting
                                                           ? std::vector<std::string>{}
                                                           : std::vector<std::string>{Reply(!idle)};
      ASSERT_EQ(before, expected_before) << app.StandardError();

      switch (ending.ending) {
        case Ending::kClose:
          ::PostMessageW(window, WM_CLOSE, 0, 0);
          break;
        case Ending::kTrayExit:
          ::PostMessageW(window, WM_COMMAND, kTrayExitCommand, 0);
          break;
        case Ending::kEndOfSession:
        case Ending::kCloseApplication: {
          const bool close_application = ending.ending == Ending::kCloseApplication;
          const milliseconds handler =
              EndTheSession(window, close_application ? ENDSESSION_CLOSEAPP : ENDSESSION_LOGOFF);
          std::printf("[ figure   ] %s, %s: WM_ENDSESSION returned after %lld ms\n", ending.name,
                      state.name, static_cast<long long>(handler.count()));
          EXPECT_LT(handler, seconds(3));
          break;
        }
      }

      if (ending.ending == Ending::kEndOfSession) {
        // The system ends the process once every window has answered. By then the
        // core is gone, and nothing may be answered any more.
        EXPECT_TRUE(WaitFor([] { return CountCoreProcesses() == 0; }, seconds(5)));
        ::Sleep(500);
        EXPECT_FALSE(app.WaitForExit(milliseconds(0))) << app.StandardError();
        app.Terminate();
      } else if (!app.WaitForExit(seconds(60))) {
        ADD_FAILURE() << "the application did not end";
        continue;
      } else {
        EXPECT_EQ(app.exit_code(), 0u) << app.StandardError();
      }
      EXPECT_TRUE(WaitFor([] { return CountCoreProcesses() == 0; }, seconds(10)));
      // An engine that ends with a call unanswered says so; no answer follows.
      std::vector<std::string> expected = before;
      const bool engine_ends = ending.ending != Ending::kEndOfSession;
      if (state.state == TunnelState::kConnecting && engine_ends) expected.push_back("noreply");
      EXPECT_EQ(app.Transcript(), expected);
      EXPECT_EQ(app.StandardError().find("contract violation"), std::string::npos)
          << app.StandardError();
    }
  }
}

// Suspends every thread of process `pid` but `keep`; resumes them when destroyed.
class SuspendedThreads {
 public:
  SuspendedThreads(DWORD pid, DWORD keep) {
    HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    THREADENTRY32 entry{};
    entry.dwSize = sizeof(entry);
    for (BOOL more = ::Thread32First(snapshot, &entry); more;
         more = ::Thread32Next(snapshot, &entry)) {
      if (entry.th32OwnerProcessID != pid || entry.th32ThreadID == keep) continue;
      UniqueHandle thread(::OpenThread(THREAD_SUSPEND_RESUME, FALSE, entry.th32ThreadID));
      if (thread && ::SuspendThread(thread.Get()) != static_cast<DWORD>(-1)) {
        threads_.push_back(std::move(thread));
      }
    }
    ::CloseHandle(snapshot);
  }
  ~SuspendedThreads() { Resume(); }
  void Resume() {
    for (UniqueHandle& thread : threads_) ::ResumeThread(thread.Get());
    threads_.clear();
  }
  size_t count() const { return threads_.size(); }

 private:
  std::vector<UniqueHandle> threads_;
};

TEST(InstanceLockTest, AStartWhileTheFirstIsEndingBecomesTheFirstOnceItHasGone) {
  AppProcess first({{"call " + MethodCallHex("isConnected")}});
  ASSERT_TRUE(first.Start());
  ASSERT_TRUE(WaitFor([&] { return !first.Transcript().empty(); }, seconds(60)));
  HWND window = first.WaitForWindow(seconds(1));
  ASSERT_NE(window, nullptr);
  DWORD pid = 0;
  const DWORD window_thread = ::GetWindowThreadProcessId(window, &pid);
  // With every other thread held, the first instance's ending stops where it waits
  // for its tunnel thread: its window is gone, its instance lock still held.
  SuspendedThreads held(pid, window_thread);
  ASSERT_GT(held.count(), 0u);
  ::PostMessageW(window, WM_CLOSE, 0, 0);
  ASSERT_TRUE(WaitFor([&] { return ::IsWindow(window) == FALSE; }, seconds(30)));
  ASSERT_FALSE(first.WaitForExit(milliseconds(0)));

  AppProcess second({{"call " + MethodCallHex("isConnected"), "close"}});
  ASSERT_TRUE(second.Start());
  EXPECT_FALSE(second.WaitForExit(seconds(8)))
      << "the second start gave up: " << second.StandardError();
  EXPECT_TRUE(second.Transcript().empty()) << "two instances ran at once";
  held.Resume();
  ASSERT_TRUE(first.WaitForExit(seconds(30)));
  EXPECT_EQ(first.exit_code(), 0u);
  ASSERT_TRUE(second.WaitForExit(seconds(60)));
  EXPECT_EQ(second.exit_code(), 0u) << second.StandardError();
  EXPECT_EQ(second.Transcript(), std::vector<std::string>{Reply(false)});
}

// This test program plays a program of the user that holds the name of the
// instance lock and shows no window.
TEST(InstanceLockTest, AProgramHoldingTheInstanceLockDelaysAStartByItsBoundOnly) {
  UniqueHandle squatter(::CreateMutexW(nullptr, TRUE, kInstanceMutexName));
  ASSERT_TRUE(squatter);
  AppProcess app({{"call " + MethodCallHex("isConnected")}});
  const steady_clock::time_point start = steady_clock::now();
  ASSERT_TRUE(app.Start());
  ASSERT_TRUE(app.WaitForExit(seconds(90)));
  EXPECT_GE(steady_clock::now() - start, seconds(25)) << "it did not wait for the lock";
  ::ReleaseMutex(squatter.Get());
  EXPECT_EQ(app.exit_code(), 1u);
  EXPECT_NE(app.StandardError().find("did not end within 30 s"), std::string::npos)
      << app.StandardError();
  EXPECT_TRUE(app.Transcript().empty());
}

}  // namespace
}  // namespace duzavide::e2e
