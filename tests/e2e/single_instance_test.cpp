// Two starts in one Windows session, and the host log that explains connects.
#include <windows.h>
// Needs the declarations of windows.h first.
#include <gtest/gtest.h>
#include <shlobj.h>
#include <tlhelp32.h>

#include <cstdio>
#include <string>

#include "tests/e2e/app_process.h"
#include "tunnel/data_folder/data_folder.h"

namespace duzavide::e2e {
namespace {

using std::chrono::seconds;

int CountCoreProcesses() {
  HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  int count = 0;
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof(entry);
  for (BOOL more = ::Process32FirstW(snapshot, &entry); more;
       more = ::Process32NextW(snapshot, &entry)) {
    count += _wcsicmp(entry.szExeFile, L"xray.exe") == 0 ? 1 : 0;
  }
  ::CloseHandle(snapshot);
  return count;
}

TEST(SingleInstanceTest, SecondStartShowsTheRunningInstanceAndTheLogExplainsConnects) {
  ::DeleteFileW(HostLogPath().c_str());
  // The stand-in core reads directives from its working directory, the application
  // folder: the first connect meets a core that rejects its configuration.
  const std::wstring directives = AppFolder() + L"\\standin-core.txt";
  if (FILE* file = _wfopen(directives.c_str(), L"wb")) {
    fputs("print config rejected: no usable outbound\\n\nexit 23\n", file);
    fclose(file);
  }
  const std::string connect = "call " + ConnectCallHex();
  AppProcess first({{connect, "sleep 2000", connect, "minimize",
                     "call " + MethodCallHex("isConnected"), "sleep 60000"}});
  ASSERT_TRUE(first.Start());
  const bool failed_once = WaitFor([&] { return first.Transcript().size() >= 1; }, seconds(60));
  ::DeleteFileW(directives.c_str());
  ASSERT_TRUE(failed_once);
  ASSERT_TRUE(WaitFor([&] { return first.Transcript().size() >= 3; }, seconds(60)));
  ASSERT_EQ(first.Transcript()[0], "reply " + SuccessReplyHex(false));
  ASSERT_EQ(first.Transcript()[1], "reply " + SuccessReplyHex(true)) << first.StandardError();
  HWND window = first.WaitForWindow(seconds(1));
  ASSERT_NE(window, nullptr);
  ASSERT_FALSE(::IsWindowVisible(window));

  AppProcess second({{"call " + MethodCallHex("isConnected")}});
  ASSERT_TRUE(second.Start());
  ASSERT_TRUE(second.WaitForExit(seconds(20)));
  EXPECT_EQ(second.exit_code(), 0u) << second.StandardError();
  EXPECT_TRUE(second.Transcript().empty()) << "the second start ran an engine";
  EXPECT_TRUE(WaitFor([&] { return ::IsWindowVisible(window) != FALSE; }, seconds(10)));
  EXPECT_FALSE(first.WaitForExit(std::chrono::milliseconds(0)));
  EXPECT_EQ(CountCoreProcesses(), 1);

  ::PostMessageW(window, WM_CLOSE, 0, 0);
  ASSERT_TRUE(first.WaitForExit(seconds(60)));
  EXPECT_EQ(first.exit_code(), 0u);
  for (const char* entry :
       {"config rejected: no usable outbound",
        R"(\[xray\] connect failed at the core's first second -- the core ended with exit code 23 )"
        R"(\(see its output\))",
        R"(\[xray\] TUN and WireGuard transport started)",
        "another instance runs in this session; asked it to show its window",
        "exiting with code 0"}) {
    EXPECT_TRUE(HostLogHasEntry(entry)) << entry;
  }
}

// Connects that fail before the core runs leave the step and the reason behind.
TEST(SingleInstanceTest, FailedConnectsSayWhyInTheHostLog) {
  ::DeleteFileW(HostLogPath().c_str());
  // A folder standing where the configuration goes: the core must not start on
  // whatever is there.
  const std::wstring folder = DataFolder();
  const std::wstring config = folder + L"\\config.json";
  ::CreateDirectoryW(folder.c_str(), nullptr);
  ::DeleteFileW(config.c_str());
  ASSERT_TRUE(::CreateDirectoryW(config.c_str(), nullptr));
  AppProcess app({{"call " + ConnectCallHex("vless://user@127.0.0.1:8443"),
                   // No route may be taken to the broadcast address: nothing is sent.
                   "call " + ConnectCallHex("vless://user@255.255.255.255:8443?security=none"),
                   "call " + ConnectCallHex(), "close"}});
  ASSERT_TRUE(app.Start());
  ASSERT_TRUE(app.WaitForExit(seconds(60)));
  ::RemoveDirectoryW(config.c_str());
  EXPECT_EQ(app.exit_code(), 0u) << app.StandardError();
  const std::vector<std::string> refused(3, "reply " + SuccessReplyHex(false));
  EXPECT_EQ(app.Transcript(), refused);
  for (const char* entry :
       {R"(\[xray\] connect failed at the share link -- the link has no "\?")",
        R"(\[bridge\] could not detect the active IPv4 interface)",
        R"(\[bridge\] connect failed at the interface detection -- no route: .*)",
        R"(\[xray\] connect failed at the configuration file -- .*config\.json could not be )"
        R"(replaced: .*)"}) {
    EXPECT_TRUE(HostLogHasEntry(entry)) << entry;
  }
  EXPECT_FALSE(HostLogHasEntry("standin-core started.*")) << "a core was started";
}

}  // namespace
}  // namespace duzavide::e2e
