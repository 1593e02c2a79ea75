// What the tunnel does to this account's proxy setting, through the system's own
// settings and registry. Wine keeps only the flags and the server
// (tunnel_test_support.h): these cases compare what it keeps; the keeper's
// tests cover the other options.
#include <gtest/gtest.h>

#include <thread>

#include "tests/tunnel/tunnel_controller_fixture.h"
#include "tunnel/proxy_setting/proxy_journal_lock.h"
#include "tunnel/proxy_setting/restore_program_work.h"

// Exported by user32 for the shell, not declared in its header.
extern "C" __declspec(dllimport) BOOL WINAPI SetShellWindow(HWND window);

namespace duzavide::tunnel_test {
namespace {

TEST_F(TunnelControllerTest, ProxySettingIsDirectWhileConnectedAndOursAfterwards) {
  const EchoRelay live;  // something listening on 127.0.0.1
  const std::string dead = "127.0.0.1:" + std::to_string(FreeLoopbackPort());
  const std::wstring dead_server(dead.begin(), dead.end());
  const std::wstring live_server = L"127.0.0.1:" + std::to_wstring(live.port());
  const std::string dead_line = "[proxy] the proxy " + dead +
                                " is on this machine and nothing listens there -- switched it "
                                "off, direct access";
  const std::string changed_line =
      "[proxy] the proxy setting was changed by someone else while the tunnel ran -- left as it "
      "is";
  enum Run { kIdle, kConnected, kFailedConnect };
  struct Case {
    const char* name;
    std::wstring server;
    Run run;
    std::wstring changed_meanwhile;  // a manual proxy someone else sets while connected
    bool dead;
  } cases[] = {
      {"proxy elsewhere, connected", L"10.1.2.3:3128", kConnected, L"", false},
      {"proxy elsewhere, failed connect", L"10.1.2.3:3128", kFailedConnect, L"", false},
      {"changed by someone else", L"10.1.2.3:3128", kConnected, L"10.9.8.7:8080", false},
      {"live local proxy, idle", live_server, kIdle, L"", false},
      {"live local proxy, connected", live_server, kConnected, L"", false},
      {"dead local proxy, idle", dead_server, kIdle, L"", true},
      {"dead local proxy, connected", dead_server, kConnected, L"", true},
  };
  // The system's own setting, not the fixture's fake one.
  TunnelController controller;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ForgetSavedProxySetting();
    ASSERT_TRUE(WriteProxySetting(ManualProxy(c.server)));
    ProxyOptions expected = ReadProxySetting();
    lines_.Clear();
    if (c.run == kFailedConnect) {
      // Nothing runs, so the setting is given back at once.
      EXPECT_EQ(Call(controller, ConnectCall("vless://no-query@127.0.0.1:1")).value,
                EncodableValue(false));
    } else {
      if (c.run == kConnected) {
        ASSERT_EQ(Call(controller, ConnectCall()).value, EncodableValue(true));
        EXPECT_TRUE(IsDirectAccess(ReadProxySetting().flags));
        EXPECT_TRUE(SavedProxySettingExists());
        EXPECT_EQ(ProxyRestoreRunOnceCommand(),
                  L"\"" + TestExeDirectory() + L"\\DuzavideProxyRestore.exe\"");
      }
      if (!c.changed_meanwhile.empty()) {
        ASSERT_TRUE(WriteProxySetting(ManualProxy(c.changed_meanwhile)));
        expected = ReadProxySetting();
      }
      Call(controller, MethodCall("disconnect", nullptr));
    }
    if (c.dead) expected.flags = PROXY_TYPE_DIRECT;
    EXPECT_EQ(ReadProxySetting(), expected);
    EXPECT_FALSE(SavedProxySettingExists());
    EXPECT_EQ(ProxyRestoreRunOnceCommand(), L"");
    EXPECT_EQ(lines_.Count(dead_line), c.dead ? 1u : 0u);
    EXPECT_EQ(lines_.Count(changed_line), c.changed_meanwhile.empty() ? 0u : 1u);
  }
}

// The host and the restore program take the journal's lock by its name, each
// with its own handle: a second caller waits its bound and is told, and has it
// once the first lets go, also when the first ended holding it.
TEST(ProxyJournalLockTest, OneCallerAtATimeAndNoneForeverAfterAnOwnerDied) {
  for (const bool owner_dies : {false, true}) {
    SCOPED_TRACE(owner_dies ? "owner ended holding it" : "owner released it");
    HANDLE taken = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE let_go = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::thread owner([&] {
      auto* lock = new ProxyJournalLock(1000);
      EXPECT_TRUE(lock->held()) << lock->failure();
      ::SetEvent(taken);
      ::WaitForSingleObject(let_go, 10000);
      if (!owner_dies) delete lock;  // else its thread ends with the lock held
    });
    ASSERT_EQ(::WaitForSingleObject(taken, 10000), WAIT_OBJECT_0);
    {
      const ProxyJournalLock second(200);
      EXPECT_FALSE(second.held());
      EXPECT_EQ(second.failure(), "another program holds the lock of the saved proxy setting");
    }
    ::SetEvent(let_go);
    owner.join();
    const ProxyJournalLock third(5000);
    EXPECT_TRUE(third.held()) << third.failure();
    ::CloseHandle(taken);
    ::CloseHandle(let_go);
  }
}

// A host elevated as another account runs each step in the restore program,
// started with the shell as its parent (Wine has one account, so the program
// acts on this one): the step's verb is done, and its lines and exit code come
// back through the pipe. Wine's desktop names no shell: this test's own window
// is made the shell, so the test is the parent.
TEST(RestoreProgramWorkTest, EachStepRunsInTheRestoreProgramStartedUnderTheShell) {
  const HWND shell = ::CreateWindowExW(0, L"STATIC", L"shell", WS_POPUP, 0, 0, 1, 1, nullptr,
                                       nullptr, nullptr, nullptr);
  ASSERT_TRUE(::GetShellWindow() != nullptr || ::SetShellWindow(shell));
  ForgetSavedProxySetting();
  ASSERT_TRUE(WriteProxySetting(ManualProxy(L"10.1.2.3:3128")));
  RestoreProgramWork work;
  std::vector<std::string> lines;
  std::string failure;
  ASSERT_TRUE(work.Run(ProxyStep::kSwitchToDirect, &lines, &failure)) << failure;
  EXPECT_TRUE(IsDirectAccess(ReadProxySetting().flags));
  EXPECT_TRUE(SavedProxySettingExists());
  ASSERT_TRUE(WriteProxySetting(ManualProxy(L"10.9.8.7:8080")));  // someone else's
  const ProxyOptions theirs = ReadProxySetting();
  EXPECT_TRUE(work.Run(ProxyStep::kRestore, &lines, &failure));
  EXPECT_EQ(lines, std::vector<std::string>{"[proxy] the proxy setting was changed by someone "
                                            "else while the tunnel ran -- left as it is"});
  EXPECT_FALSE(SavedProxySettingExists());
  EXPECT_EQ(ReadProxySetting(), theirs);
  ::DestroyWindow(shell);
}

}  // namespace
}  // namespace duzavide::tunnel_test
