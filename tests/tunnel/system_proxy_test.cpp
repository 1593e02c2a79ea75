#include "tunnel/system_proxy.h"

#include <gtest/gtest.h>

#include "tests/tunnel/tunnel_session_fixture.h"

namespace duzavide::tunnel_test {
namespace {

constexpr DWORD kManualProxy = PROXY_TYPE_DIRECT | PROXY_TYPE_PROXY;

TEST_F(TunnelSessionTest, ProxyIsDirectAfterEveryConnectAndDisconnect) {
  ASSERT_TRUE(SetProxyFlags(kManualProxy));
  ASSERT_TRUE(ManualProxyOn());
  ASSERT_TRUE(session_.Connect(LoopbackRequest()));
  EXPECT_EQ(ProxyFlags(), static_cast<DWORD>(PROXY_TYPE_DIRECT));

  ASSERT_TRUE(SetProxyFlags(kManualProxy));
  session_.Disconnect();
  EXPECT_EQ(ProxyFlags(), static_cast<DWORD>(PROXY_TYPE_DIRECT));

  // A connect that fails, and a disconnect with nothing running, reset it too.
  ConnectRequest failing = LoopbackRequest();
  failing.vlessUrl = "vless://no-query@127.0.0.1:1";
  ASSERT_TRUE(SetProxyFlags(kManualProxy));
  EXPECT_FALSE(session_.Connect(failing));
  EXPECT_EQ(ProxyFlags(), static_cast<DWORD>(PROXY_TYPE_DIRECT));
  ASSERT_TRUE(SetProxyFlags(kManualProxy));
  session_.Disconnect();
  EXPECT_EQ(ProxyFlags(), static_cast<DWORD>(PROXY_TYPE_DIRECT));
  EXPECT_TRUE(ResetSystemProxy());
}

}  // namespace
}  // namespace duzavide::tunnel_test
