// What the tunnel does to this account's proxy setting, through the system's own
// settings and registry. Wine keeps only the flags and the server
// (tunnel_test_support.h): these cases compare what it keeps; the keeper's
// tests cover the other options.
#include <gtest/gtest.h>

#include "tests/tunnel/tunnel_controller_fixture.h"

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

}  // namespace
}  // namespace duzavide::tunnel_test
