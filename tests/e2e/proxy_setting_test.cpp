// The user's proxy setting through every way a run of Duzavide.exe can end,
// including a killed host followed by the next start or by the restore program
// that the next sign-in would run. Under Wine only the flags and the server are
// kept (tests/tunnel/tunnel_test_support.h): what it keeps is compared.
#include <windows.h>
// Needs the declarations of windows.h first.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/e2e/app_process.h"
#include "tests/tunnel/tunnel_test_support.h"

namespace duzavide::e2e {
namespace {

using std::chrono::seconds;
using namespace tunnel_test;

enum class Ending {
  kOpenAndClose,
  kDisconnectThenClose,
  kExitWhileConnected,
  kKilledThenNextStart,
  kKilledThenRestoreProgram,
};

constexpr char kRestoredLine[] =
    "[proxy] restored the proxy setting saved before an earlier run ended unexpectedly";

std::vector<std::string> Script(Ending ending) {
  const std::string connect = "call " + ConnectCallHex();
  switch (ending) {
    case Ending::kOpenAndClose:
      return {"call " + MethodCallHex("isConnected"), "close"};
    case Ending::kDisconnectThenClose:
      return {connect, "sleep 3000", "call " + MethodCallHex("disconnect"), "close"};
    case Ending::kExitWhileConnected:
      return {connect, "sleep 3000", "command 1004"};
    default:
      return {connect, "sleep 60000"};
  }
}

// Runs `command` (the RunOnce value) to its end; its exit code.
DWORD RunCommand(std::wstring command) {
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION info{};
  if (!::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &info)) {
    ADD_FAILURE() << "CreateProcessW failed with " << ::GetLastError();
    return 99;
  }
  ::WaitForSingleObject(info.hProcess, 30000);
  DWORD code = STILL_ACTIVE;
  ::GetExitCodeProcess(info.hProcess, &code);
  ::CloseHandle(info.hThread);
  ::CloseHandle(info.hProcess);
  return code;
}

class ProxySettingE2eTest : public ::testing::TestWithParam<Ending> {};

TEST_P(ProxySettingE2eTest, EveryStartingSettingComesBackExactly) {
  ProxyOptions script_url;
  script_url.flags = PROXY_TYPE_DIRECT | PROXY_TYPE_AUTO_PROXY_URL;
  script_url.autoconfig_url = L"http://10.1.2.3/proxy.pac";
  ProxyOptions detect;
  detect.flags = PROXY_TYPE_DIRECT | PROXY_TYPE_AUTO_DETECT;
  const std::pair<const char*, ProxyOptions> starts[] = {
      {"direct", ProxyOptions()},
      {"manual proxy with bypass list", ManualProxy(L"10.1.2.3:3128")},
      {"automatic configuration URL", script_url},
      {"automatically detect", detect},
  };
  const Ending ending = GetParam();
  const bool connects = ending != Ending::kOpenAndClose;
  const bool killed =
      ending == Ending::kKilledThenNextStart || ending == Ending::kKilledThenRestoreProgram;
  for (const auto& [name, start] : starts) {
    SCOPED_TRACE(name);
    ForgetSavedProxySetting();
    ASSERT_TRUE(WriteProxySetting(start));
    const ProxyOptions before = ReadProxySetting();

    AppProcess app({Script(ending)});
    ASSERT_TRUE(app.Start());
    if (connects) {
      ASSERT_TRUE(WaitFor([&] { return !app.Transcript().empty(); }, seconds(60)));
      ASSERT_EQ(app.Transcript()[0], "reply " + SuccessReplyHex(true)) << app.StandardError();
      EXPECT_TRUE(IsDirectAccess(ReadProxySetting().flags));
      EXPECT_TRUE(SavedProxySettingExists());
    }
    if (!killed) {
      ASSERT_TRUE(app.WaitForExit(seconds(60)));
      EXPECT_EQ(app.exit_code(), 0u) << app.StandardError();
    } else {
      app.Kill();
      EXPECT_TRUE(WaitFor([] { return CountCoreProcesses() == 0; }, seconds(10)));
      const std::wstring command = ProxyRestoreRunOnceCommand();
      EXPECT_EQ(command, L"\"" + AppFolder() + L"\\DuzavideProxyRestore.exe\"");
      if (ending == Ending::kKilledThenRestoreProgram) {
        EXPECT_EQ(RunCommand(command), 0u);
      } else {
        AppProcess next({{"call " + MethodCallHex("isConnected"), "close"}});
        ASSERT_TRUE(next.Start());
        ASSERT_TRUE(next.WaitForExit(seconds(60)));
        EXPECT_NE(next.StandardError().find(kRestoredLine), std::string::npos);
      }
    }
    EXPECT_EQ(ReadProxySetting(), before);
    EXPECT_FALSE(SavedProxySettingExists());
    EXPECT_EQ(ProxyRestoreRunOnceCommand(), L"");
  }
}

std::string EndingName(const ::testing::TestParamInfo<Ending>& info) {
  const char* const names[] = {"OpenAndClose", "DisconnectThenClose", "ExitWhileConnected",
                               "KilledThenNextStart", "KilledThenRestoreProgram"};
  return names[static_cast<int>(info.param)];
}

INSTANTIATE_TEST_SUITE_P(Endings, ProxySettingE2eTest,
                         ::testing::Values(Ending::kOpenAndClose, Ending::kDisconnectThenClose,
                                           Ending::kExitWhileConnected,
                                           Ending::kKilledThenNextStart,
                                           Ending::kKilledThenRestoreProgram),
                         EndingName);

// Ctrl+Break (or Ctrl+C, or the console closing) in the console the host was
// started from ends it through the window's own teardown.
TEST(ConsoleEndingTest, AConsoleEventWhileConnectedLeavesTheSettingRestoredAndNoCore) {
  ForgetSavedProxySetting();
  ASSERT_TRUE(WriteProxySetting(ManualProxy(L"10.1.2.3:3128")));
  const ProxyOptions before = ReadProxySetting();
  AppProcess app({Script(Ending::kKilledThenNextStart)});  // connects, then waits
  ASSERT_TRUE(app.Start());
  ASSERT_TRUE(WaitFor([&] { return !app.Transcript().empty(); }, seconds(60)));
  ASSERT_EQ(app.Transcript()[0], "reply " + SuccessReplyHex(true)) << app.StandardError();
  ASSERT_TRUE(IsDirectAccess(ReadProxySetting().flags));

  ASSERT_TRUE(app.RaiseConsoleBreak());
  ASSERT_TRUE(app.WaitForExit(seconds(30))) << app.StandardError();
  EXPECT_EQ(app.exit_code(), 0u) << app.StandardError();
  EXPECT_TRUE(WaitFor([] { return CountCoreProcesses() == 0; }, seconds(2)));
  EXPECT_EQ(ReadProxySetting(), before);
  EXPECT_FALSE(SavedProxySettingExists());
}

}  // namespace
}  // namespace duzavide::e2e
