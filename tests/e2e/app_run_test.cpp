// The real Duzavide.exe, driven through the stand-in engine's script mode.
#include <windows.h>
// Needs the declarations of windows.h first.
#include <gtest/gtest.h>
#include <shellapi.h>

#include <string>
#include <vector>

#include "tests/e2e/app_process.h"
#include "tests/e2e/private_network.h"
#include "tests/tunnel/tunnel_test_support.h"

namespace duzavide::e2e {
namespace {

using std::chrono::seconds;

std::string Call(const std::string& method) { return "call " + MethodCallHex(method); }
std::string Reply(const std::string& hex) { return "reply " + hex; }

// Asks the notification area to update the tip of `window`'s icon 1 with the text
// it already has: succeeds only while that icon exists.
bool TrayIconExists(HWND window) {
  NOTIFYICONDATAW data{};
  data.cbSize = sizeof(data);
  data.hWnd = window;
  data.uID = 1;
  data.uFlags = NIF_TIP;
  wcscpy_s(data.szTip, L"Duzavide VPN");
  return ::Shell_NotifyIconW(NIM_MODIFY, &data) != FALSE;
}

// Runs `script` to its end and expects a clean exit with code 0.
std::vector<std::string> RunToExit(AppProcess& app) {
  EXPECT_TRUE(app.Start());
  EXPECT_TRUE(app.WaitForExit(seconds(90))) << "the application did not end";
  EXPECT_EQ(app.exit_code(), 0u) << app.StandardError();
  return app.Transcript();
}

TEST(AppRunTest, FailingViewCreationExitsWithCodeOneAndRunsNoLoop) {
  AppProcess app({{"sleep 60000"}, /*fail_view_creation=*/true});
  ASSERT_TRUE(app.Start());
  // No message loop: the process ends on its own, long before the script would.
  ASSERT_TRUE(app.WaitForExit(seconds(30)));
  EXPECT_EQ(app.exit_code(), 1u);
  EXPECT_NE(app.StandardError().find("Failed to create view controller."), std::string::npos)
      << app.StandardError();
  EXPECT_TRUE(app.Transcript().empty());
}

TEST(AppRunTest, ShowsTheViewInTheRunnerWindowAndAnswersTheInterface) {
  // The first answer marks that the script runs, i.e. the first frame exists; the
  // pause after it leaves time to look at the window from outside.
  AppProcess app({{Call("isConnected"), "sleep 6000", Call("getStats"), Call("getConfig"),
                   Call("IsConnected"), Call("disconnect"), "close"}});
  ASSERT_TRUE(app.Start());
  ASSERT_TRUE(WaitFor([&] { return app.Transcript().size() >= 1; }, seconds(60)));
  HWND window = app.WaitForWindow(seconds(1));
  ASSERT_NE(window, nullptr);
  EXPECT_TRUE(::IsWindowVisible(window));
  wchar_t class_name[64] = {};
  ::GetClassNameW(window, class_name, 64);
  EXPECT_EQ(std::wstring(class_name), L"FLUTTER_RUNNER_WIN32_WINDOW");
  HWND view = ::GetWindow(window, GW_CHILD);
  ASSERT_NE(view, nullptr);
  RECT client{};
  RECT view_rect{};
  ::GetClientRect(window, &client);
  ::GetClientRect(view, &view_rect);
  EXPECT_EQ(view_rect.right, client.right);
  EXPECT_EQ(view_rect.bottom, client.bottom);
  EXPECT_GT(client.bottom, 0);

  ASSERT_TRUE(app.WaitForExit(seconds(60)));
  EXPECT_EQ(app.exit_code(), 0u);
  const std::vector<std::string> expected = {
      Reply(SuccessReplyHex(false)),
      Reply(ZeroStatsReplyHex()),
      "reply",  // not implemented: an empty answer
      "reply",  // method names are case-sensitive
      Reply(SuccessReplyHex(true)),
  };
  EXPECT_EQ(app.Transcript(), expected);
}

TEST(AppRunTest, MinimizingHidesTheWindowIntoOneTrayIconAndTheExitItemQuits) {
  // Each answer is a marker the test waits for before looking.
  AppProcess app({{Call("isConnected"), "sleep 6000", "minimize", "minimize", Call("isConnected"),
                   "sleep 6000", "command 1004"}});
  ASSERT_TRUE(app.Start());
  ASSERT_TRUE(WaitFor([&] { return app.Transcript().size() >= 1; }, seconds(60)));
  HWND window = app.WaitForWindow(seconds(1));
  ASSERT_NE(window, nullptr);
  EXPECT_TRUE(::IsWindowVisible(window));
  EXPECT_FALSE(TrayIconExists(window));

  ASSERT_TRUE(WaitFor([&] { return app.Transcript().size() >= 2; }, seconds(30)));
  EXPECT_FALSE(::IsWindowVisible(window));
  EXPECT_TRUE(TrayIconExists(window));

  ASSERT_TRUE(app.WaitForExit(seconds(60)));
  EXPECT_EQ(app.exit_code(), 0u) << app.StandardError();
  EXPECT_FALSE(TrayIconExists(window));
}

struct ConnectedEnding {
  const char* name;
  std::vector<std::string> ending;  // script commands after connect and getLog
  std::vector<std::string> expected_tail;
};

TEST(AppRunTest, EveryWayOutOfAConnectionStopsTheCore) {
  const ConnectedEnding endings[] = {
      {"tray disconnect, then exit item",
       {"command 1003", Call("isConnected"), "command 1004"},
       {Reply(SuccessReplyHex(false))}},
      {"exit item while connected", {"command 1004"}, {}},
      {"close while connected", {"close"}, {}},
  };
  for (const ConnectedEnding& c : endings) {
    SCOPED_TRACE(c.name);
    // The core prints its start line once it has read its configuration; on a
    // busy machine that can come after the connect's answer.
    std::vector<std::string> script = {"call " + ConnectCallHex(), "sleep 2000", Call("getLog")};
    script.insert(script.end(), c.ending.begin(), c.ending.end());
    ::DeleteFileW(HostLogPath().c_str());
    AppProcess app({script});
    const std::vector<std::string> transcript = RunToExit(app);
    // Wine has no filtering engine: the tunnel runs unprotected, and says so once.
    size_t unavailable = 0;
    for (const std::string& line : HostLogLines()) {
      unavailable += line.find("[xray] leak protection unavailable -- ") != std::string::npos;
    }
    EXPECT_EQ(unavailable, 1u);
    ASSERT_EQ(transcript.size(), 2 + c.expected_tail.size()) << app.StandardError();
    EXPECT_EQ(transcript[0], Reply(SuccessReplyHex(true)));
    const DWORD core_pid = CorePidFromReplyHex(transcript[1].substr(6));
    ASSERT_NE(core_pid, 0u) << transcript[1];
    EXPECT_TRUE(ProcessGone(core_pid, seconds(10)));
    for (size_t i = 0; i < c.expected_tail.size(); ++i) {
      EXPECT_EQ(transcript[2 + i], c.expected_tail[i]);
    }
  }
}

TEST(AppRunTest, ClosingDuringAConnectExitsWithCodeZeroAndLeavesNoCore) {
  using tunnel_test::CountCoreProcesses;
  ASSERT_EQ(CountCoreProcesses(), 0);
  AppProcess app({{"call " + ConnectCallHex()}});
  ASSERT_TRUE(app.Start());
  HWND window = app.WaitForWindow(seconds(60));
  ASSERT_NE(window, nullptr);
  // The core starts a second before the connect answers.
  ASSERT_TRUE(WaitFor([] { return CountCoreProcesses() > 0; }, seconds(60)));
  ::PostMessageW(window, WM_CLOSE, 0, 0);
  ASSERT_TRUE(app.WaitForExit(seconds(60)));
  EXPECT_EQ(app.exit_code(), 0u) << app.StandardError();
  EXPECT_EQ(CountCoreProcesses(), 0);
  // The engine ended before the connect did: its answer was never sent.
  EXPECT_EQ(app.Transcript(), std::vector<std::string>{"noreply"});
}

}  // namespace
}  // namespace duzavide::e2e
